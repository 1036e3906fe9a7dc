#!/usr/bin/env python3
"""Scriptable UPnP root device(s) for the test LAN.

One process plays COUNT devices on one interface address. It joins 239.255.255.250 on that
address, answers each M-SEARCH (ST upnp:rootdevice or ssdp:all) once per device, from a fresh
socket (random source port), after a delay, and serves each device's description over HTTP on
a port of its own (and, with --page, HTML pages such as a web configuration page). Everything
it does is written to a log with CLOCK_MONOTONIC timestamps (nanoseconds), so tests can check
what was fetched and benchmarks can measure from it.

Every loop is bounded: the process ends after --lifetime seconds whatever happens.

Log lines (space-separated):
  NS ready pid=PID count=N ports=P0,P1,...
  NS msearch from=IP:PORT hex=DATAGRAM
  NS reply dev=I port=HTTPPORT to=IP:PORT
  NS get dev=I port=HTTPPORT from=IP:PORT path=PATH
"""

import argparse
import heapq
import os
import selectors
import socket
import struct
import sys
import time

GROUP = "239.255.255.250"
SSDP_PORT = 1900
MAKER = "Halvren Storage Corporation"
MAX_REQUEST_BYTES = 64 * 1024


def now_ns():
    return time.monotonic_ns()


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--addr", required=True, help="interface address: group membership and HTTP")
    p.add_argument("--lifetime", type=float, default=60.0, help="seconds until the process ends")
    p.add_argument("--count", type=int, default=1, help="number of devices played")
    p.add_argument("--log", help="event log file (appended)")
    p.add_argument("--ready", help="file written once every socket is open")
    # SSDP answer
    p.add_argument("--delay-ms", type=float, default=0.0, help="delay of device 0's answer")
    p.add_argument("--delay-step-ms", type=float, default=0.0, help="added per device index")
    p.add_argument("--repeats", type=int, default=1, help="answers sent per M-SEARCH and device")
    p.add_argument("--repeat-gap-ms", type=float, default=50.0)
    p.add_argument("--usn", default="uuid:qvl-{pid}-{i}::upnp:rootdevice", help="{i}: device index")
    p.add_argument("--no-usn", action="store_true")
    p.add_argument("--st", default="upnp:rootdevice")
    p.add_argument("--no-st", action="store_true")
    p.add_argument("--header-case", choices=["upper", "lower", "title"], default="upper")
    p.add_argument("--location", help="location sent instead of the device's own; {addr} {port} {i}")
    p.add_argument("--extra-header", action="append", default=[], help="header line added to the answer")
    p.add_argument("--answer-limit", type=int, default=20, help="M-SEARCHes answered at most")
    p.add_argument("--empty-datagrams", type=int, default=0, help="empty datagrams sent before and after each answer")
    p.add_argument("--flood", type=int, default=0, help="extra answers per M-SEARCH, each a new USN")
    p.add_argument("--flood-location", default="http://{addr}:9/dead-{k}.xml", help="their location; {addr} {k}")
    p.add_argument("--flood-delay-ms", type=float, default=0.0, help="when the flood starts")
    p.add_argument("--flood-burst", type=int, default=20, help="flood answers sent per millisecond")
    # Description
    p.add_argument("--device-type", default="urn:schemas-upnp-org:device:QvNAS:1")
    p.add_argument("--friendly-name", default="QV Test {i}", help="{i}: device index")
    p.add_argument("--friendly-name-hex", help="raw bytes of the friendly name (overrides)")
    p.add_argument("--manufacturer", default=MAKER)
    p.add_argument("--model-number", default="QV-{i}")
    p.add_argument("--presentation-url", help="presentationURL instead of http://<addr>/; {addr} {port} {i}")
    p.add_argument("--page", action="append", default=[], metavar="PATH=FILE",
                   help="serve FILE as an HTML page at PATH (e.g. the web configuration page)")
    # HTTP behaviour
    p.add_argument("--framing", choices=["length", "chunked", "close"], default="length")
    p.add_argument("--chunk-bytes", type=int, default=0, help="chunk size; 0: one chunk")
    p.add_argument("--chunk-ext", default="", help="chunk extension after each chunk size, e.g. ;ext=1")
    p.add_argument("--http-mode", choices=["normal", "slow", "silent", "refuse", "cut", "notfound", "huge"],
                   default="normal", help="cut: a length beyond the bytes sent; notfound: a 404 page; "
                   "huge: a body of 1.5 MiB without a device")
    p.add_argument("--piece-bytes", type=int, default=16, help="slow mode: bytes per send")
    p.add_argument("--slow-ms", type=float, default=100.0, help="slow mode: pause between sends")
    args = p.parse_args()
    if args.friendly_name_hex is not None:
        args.friendly_name_hex = bytes.fromhex(args.friendly_name_hex)  # fails here, not on a request
    pages = {}
    for entry in args.page:
        path, sep, file = entry.partition("=")
        if not sep or not path.startswith("/"):
            p.error("--page wants PATH=FILE with PATH beginning with /")
        with open(file, "rb") as f:  # read once: a missing file fails here, not on a request
            pages[path] = f.read()
    args.page = pages
    return args


class Log:
    def __init__(self, path):
        self.file = open(path, "a", buffering=1) if path else None

    def write(self, text):
        if self.file:
            self.file.write("%d %s\n" % (now_ns(), text))


class Device:
    def __init__(self, args, index):
        self.index = index
        self.args = args
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((args.addr, 0))
        self.port = self.listener.getsockname()[1]
        if args.http_mode != "refuse":
            # A bound socket that never listens reserves the port and refuses connections.
            self.listener.listen(16)
            self.listener.setblocking(False)

    def fill(self, text):
        return text.replace("{i}", str(self.index)).replace("{pid}", str(os.getpid()))

    def presentation_url(self):
        url = self.args.presentation_url
        if url is None:
            return "http://" + self.args.addr + "/"
        return self.fill(url).replace("{addr}", self.args.addr).replace("{port}", str(self.port))

    def description(self):
        a = self.args
        if a.friendly_name_hex:
            name = a.friendly_name_hex
        else:
            name = self.fill(a.friendly_name).encode()
        parts = [
            b'<?xml version="1.0"?>\r\n<root xmlns="urn:schemas-upnp-org:device-1-0">\r\n',
            b"<specVersion><major>1</major><minor>0</minor></specVersion>\r\n<device>\r\n",
            b"<deviceType>" + a.device_type.encode() + b"</deviceType>\r\n",
            b"<friendlyName>" + name + b"</friendlyName>\r\n",
            b"<manufacturer>" + a.manufacturer.encode() + b"</manufacturer>\r\n",
            b"<manufacturerURL>http://www.halvren.example/</manufacturerURL>\r\n",
            b"<modelDescription>Test device</modelDescription>\r\n",
            b"<modelName>QV Test</modelName>\r\n",
            b"<modelNumber>" + self.fill(a.model_number).encode() + b"</modelNumber>\r\n",
            b"<modelURL>http://www.halvren.example/qv</modelURL>\r\n",
            b"<UDN>uuid:qvl-" + str(os.getpid()).encode() + b"-" + str(self.index).encode() + b"</UDN>\r\n",
            b"<presentationURL>" + self.presentation_url().encode() + b"</presentationURL>\r\n",
            b"</device>\r\n</root>\r\n",
        ]
        return b"".join(parts)

    def response(self, path):
        a = self.args
        body = self.description()
        kind = b"text/xml"
        if a.http_mode == "cut":
            # The announced length is the whole description; the connection closes after its first bytes.
            return (b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n" % len(body)) + body[:60]
        if a.http_mode == "notfound":
            page = b"<html><body>Not Found</body></html>"
            return b"HTTP/1.1 404 Not Found\r\nContent-Length: %d\r\n\r\n" % len(page) + page
        if a.http_mode == "huge":
            filler = b"<root>" + b"x" * (3 * 512 * 1024)
            return b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(filler) + filler
        if path in a.page:
            body, kind = a.page[path], b"text/html"
        head = b"HTTP/1.1 200 OK\r\nContent-Type: " + kind + b"; charset=\"utf-8\"\r\nConnection: close\r\n"
        if a.framing == "length":
            return head + b"Content-Length: %d\r\n\r\n" % len(body) + body
        if a.framing == "close":
            return head + b"\r\n" + body
        size = a.chunk_bytes if a.chunk_bytes > 0 else len(body)
        chunks = [body[i:i + size] for i in range(0, len(body), size)]
        out = head + b"Transfer-Encoding: chunked\r\n\r\n"
        for chunk in chunks:
            out += b"%x" % len(chunk) + a.chunk_ext.encode() + b"\r\n" + chunk + b"\r\n"
        return out + b"0\r\n\r\n"

    def location(self):
        if self.args.location is None:
            return "http://%s:%d/desc-%d.xml" % (self.args.addr, self.port, self.index)
        return self.fill(self.args.location).replace("{addr}", self.args.addr).replace("{port}", str(self.port))

    def ssdp_reply(self):
        a = self.args
        names = {"upper": ("LOCATION", "ST", "USN", "CACHE-CONTROL", "SERVER", "EXT"),
                 "lower": ("location", "st", "usn", "cache-control", "server", "ext"),
                 "title": ("Location", "St", "Usn", "Cache-Control", "Server", "Ext")}[a.header_case]
        loc, st, usn, cache, server, ext = names
        lines = ["HTTP/1.1 200 OK", cache + ": max-age=1800", ext + ":",
                 loc + ": " + self.location(),
                 server + ": Linux/6 UPnP/1.0 qvlink-testdevice/1.0"]
        if not a.no_st:
            lines.append(st + ": " + a.st)
        if not a.no_usn:
            lines.append(usn + ": " + self.fill(a.usn))
        lines.extend(a.extra_header)
        return ("\r\n".join(lines) + "\r\n\r\n").encode()


class Connection:
    def __init__(self, sock, peer, device):
        self.sock = sock
        self.peer = peer
        self.device = device
        self.request = b""
        self.pending = b""


def main():
    args = parse_args()
    log = Log(args.log)
    deadline = time.monotonic() + args.lifetime
    sel = selectors.DefaultSelector()
    timers = []  # (when, sequence, action, argument)
    sequence = 0

    def at(when, action, argument):
        nonlocal sequence
        sequence += 1
        heapq.heappush(timers, (when, sequence, action, argument))

    ssdp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    ssdp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    ssdp.bind((GROUP, SSDP_PORT))
    ssdp.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                    struct.pack("4s4s", socket.inet_aton(GROUP), socket.inet_aton(args.addr)))
    ssdp.setblocking(False)
    sel.register(ssdp, selectors.EVENT_READ, ("ssdp", None))

    devices = [Device(args, i) for i in range(args.count)]
    for d in devices:
        if args.http_mode != "refuse":
            sel.register(d.listener, selectors.EVENT_READ, ("listen", d))
    log.write("ready pid=%d count=%d ports=%s" % (os.getpid(), args.count, ",".join(str(d.port) for d in devices)))
    if args.ready:
        with open(args.ready, "w") as f:
            f.write("%d\n" % os.getpid())

    answered = 0
    silent = []  # connections kept open without an answer
    flood_socket = [None]

    def flood_reply(item):
        first, peer = item
        if flood_socket[0] is None:
            flood_socket[0] = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            flood_socket[0].bind((args.addr, 0))
        last = min(first + args.flood_burst, args.flood)
        for k in range(first, last):
            location = args.flood_location.replace("{addr}", args.addr).replace("{k}", str(k))
            reply = ("HTTP/1.1 200 OK\r\nLOCATION: %s\r\nST: upnp:rootdevice\r\nUSN: uuid:qvl-flood-%d-%d\r\n\r\n"
                     % (location, os.getpid(), k))
            try:
                flood_socket[0].sendto(reply.encode(), peer)
            except OSError as e:
                log.write("flood-failed k=%d error=%s" % (k, e.errno))
                return
        log.write("flood sent=%d to=%s:%d" % (last, peer[0], peer[1]))

    def send_reply(item):
        device, peer = item
        out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            out.bind((args.addr, 0))
            for _ in range(args.empty_datagrams):
                out.sendto(b"", peer)
            out.sendto(device.ssdp_reply(), peer)
            for _ in range(args.empty_datagrams):
                out.sendto(b"", peer)
            log.write("reply dev=%d port=%d to=%s:%d" % (device.index, device.port, peer[0], peer[1]))
        except OSError as e:
            log.write("reply-failed dev=%d error=%s" % (device.index, e.errno))
        finally:
            out.close()

    def close_conn(conn):
        try:
            sel.unregister(conn.sock)
        except (KeyError, ValueError):
            pass
        conn.sock.close()

    def send_piece(conn):
        if conn.sock.fileno() < 0:
            return
        piece, conn.pending = conn.pending[:args.piece_bytes], conn.pending[args.piece_bytes:]
        try:
            conn.sock.sendall(piece)
        except OSError:
            close_conn(conn)
            return
        if conn.pending:
            at(time.monotonic() + args.slow_ms / 1000.0, send_piece, conn)
        else:
            close_conn(conn)

    def answer(conn):
        line = conn.request.split(b"\r\n", 1)[0].decode("latin-1")
        path = line.split(" ")[1] if line.count(" ") >= 2 else "?"
        log.write("get dev=%d port=%d from=%s:%d path=%s" % (conn.device.index, conn.device.port,
                                                           conn.peer[0], conn.peer[1], path))
        if args.http_mode == "silent":
            sel.unregister(conn.sock)
            silent.append(conn)
            return
        data = conn.device.response(path)
        if args.http_mode == "slow":
            conn.sock.setblocking(True)
            conn.pending = data
            sel.unregister(conn.sock)
            send_piece(conn)
            return
        conn.sock.setblocking(True)
        conn.sock.settimeout(5.0)
        try:
            conn.sock.sendall(data)
        except OSError:
            pass
        close_conn(conn)

    while True:
        now = time.monotonic()
        if now >= deadline:
            break
        while timers and timers[0][0] <= now:
            _, _, action, argument = heapq.heappop(timers)
            action(argument)
        wait = deadline - now
        if timers:
            wait = min(wait, max(0.0, timers[0][0] - now))
        for key, _ in sel.select(timeout=wait):
            kind, obj = key.data
            if kind == "ssdp":
                try:
                    data, peer = ssdp.recvfrom(2048)
                except BlockingIOError:
                    continue
                if not data.startswith(b"M-SEARCH"):
                    continue
                target = b""
                for line in data.split(b"\r\n"):
                    if line[:3].lower() == b"st:":
                        target = line[3:].strip()
                if target not in (b"upnp:rootdevice", b"ssdp:all"):
                    continue
                log.write("msearch from=%s:%d hex=%s" % (peer[0], peer[1], data.hex()))
                if answered >= args.answer_limit:
                    continue
                answered += 1
                base = time.monotonic()
                for burst, first in enumerate(range(0, args.flood, max(args.flood_burst, 1))):
                    at(base + (args.flood_delay_ms + burst) / 1000.0, flood_reply, (first, peer))
                for d in devices:
                    for r in range(args.repeats):
                        delay = args.delay_ms + d.index * args.delay_step_ms + r * args.repeat_gap_ms
                        at(base + delay / 1000.0, send_reply, (d, peer))
            elif kind == "listen":
                try:
                    sock, peer = obj.listener.accept()
                except BlockingIOError:
                    continue
                sock.setblocking(False)
                sel.register(sock, selectors.EVENT_READ, ("conn", Connection(sock, peer, obj)))
            else:
                conn = obj
                try:
                    chunk = conn.sock.recv(4096)
                except BlockingIOError:
                    continue
                except OSError:
                    chunk = b""
                if not chunk:
                    close_conn(conn)
                    continue
                conn.request += chunk
                if b"\r\n\r\n" in conn.request or len(conn.request) > MAX_REQUEST_BYTES:
                    answer(conn)
    for conn in silent:
        conn.sock.close()
    if flood_socket[0] is not None:
        flood_socket[0].close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
