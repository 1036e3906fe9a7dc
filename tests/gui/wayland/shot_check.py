#!/usr/bin/env python3
"""Checks a screenshot of a skinned window against its picture.

    shot_check.py SHOT.png PICTURE.png X Y DESKTOP [--behind OTHER.png OX OY] [--text L T W H]...
                  [--skip L T W H]...

The window's picture stands at X, Y of the screenshot. Its cut-corner shape is the one the
program uses (8, 6, 4, 3, 2, 2, 1, 1 pixels off each corner's rows). Outside the shape the
screenshot must show what is behind: the desktop colour DESKTOP (#rrggbb), or the pixels of
OTHER.png standing at OX, OY. Inside the shape, every pixel that the picture's own
background shows must be the picture's, except in the rectangles of --text (texts and
controls drawn over it), where some pixels must differ: the texts are drawn; the rectangles
of --skip (a control that may or may not show) are not looked at."""
import struct
import sys
import zlib

CUT = [8, 6, 4, 3, 2, 2, 1, 1]


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG")
    pos, chunks, width = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise SystemExit(f"{path}: only 8-bit RGB/RGBA, not interlaced")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            chunks.append(body)
        pos += 12 + length
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        kind = raw[i]
        line = bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = prev[x]
            c = prev[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, channels)])
        prev = line
    return rows


def inside(x, y, w, h):
    for cx in (x, w - 1 - x):
        if cx < len(CUT) and (y < CUT[cx] or y >= h - CUT[cx]):
            return False
    return True


def near(a, b):
    return all(abs(p - q) <= 2 for p, q in zip(a, b))


def main(argv):
    shot, picture = read_png(argv[1]), read_png(argv[2])
    x0, y0 = int(argv[3]), int(argv[4])
    desktop = tuple(int(argv[5][i:i + 2], 16) for i in (1, 3, 5))
    behind, texts, skips, rest = None, [], [], argv[6:]
    while rest:
        if rest[0] == "--behind":
            behind = (read_png(rest[1]), int(rest[2]), int(rest[3]))
            rest = rest[4:]
        elif rest[0] == "--skip":
            skips.append(tuple(int(v) for v in rest[1:5]))
            rest = rest[5:]
        elif rest[0] == "--text":
            texts.append(tuple(int(v) for v in rest[1:5]))
            rest = rest[5:]
        else:
            raise SystemExit(f"unknown argument {rest[0]}")
    h, w = len(picture), len(picture[0])
    in_text = lambda x, y: any(l <= x < l + tw and t <= y < t + th for l, t, tw, th in texts + skips)
    faults, outside_seen, inside_seen = [], 0, 0
    for y in range(h):
        for x in range(w):
            seen = shot[y0 + y][x0 + x]
            if not inside(x, y, w, h):
                expected = desktop
                if behind is not None:
                    other, ox, oy = behind
                    gx, gy = x0 + x - ox, y0 + y - oy
                    if 0 <= gy < len(other) and 0 <= gx < len(other[0]) and inside(gx, gy, len(other[0]), len(other)):
                        expected = other[gy][gx]
                outside_seen += 1
                if not near(seen, expected):
                    faults.append(f"corner pixel ({x},{y}) shows {seen}, behind it is {expected}")
            elif not in_text(x, y):
                inside_seen += 1
                if seen != picture[y][x]:
                    faults.append(f"pixel ({x},{y}) shows {seen}, the picture {picture[y][x]}")
    for l, t, tw, th in texts:
        changed = sum(shot[y0 + y][x0 + x] != picture[y][x] for y in range(t, t + th) for x in range(l, l + tw))
        if changed < 20:
            faults.append(f"nothing drawn in ({l},{t},{tw},{th}): {changed} pixels differ from the picture")
    print(f"{argv[1]}: {outside_seen} corner pixels, {inside_seen} picture pixels checked, {len(faults)} faults")
    for fault in faults[:10]:
        print("  " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
