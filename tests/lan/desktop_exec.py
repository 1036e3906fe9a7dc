#!/usr/bin/env python3
"""Prints the argument vector of a desktop entry's Exec key, NUL-separated, as a desktop's
session starter reads it: the string escapes of the value undone, then the Exec quoting
(double quotes, backslash before " ` $ \\) and %% field codes. Other field codes are dropped."""
import sys


def value(path, key):
    group = None
    with open(path, encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if line.startswith("["):
                group = line.strip()
            elif group == "[Desktop Entry]" and line.split("=", 1)[0].strip() == key:
                return line.split("=", 1)[1].lstrip(" ")
    raise SystemExit("no %s key" % key)


def unescape(text):
    out, i = [], 0
    table = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in table:
            out.append(table[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def split_exec(text):
    args, cur, have, i = [], [], False, 0
    while i < len(text):
        c = text[i]
        if c == " ":
            if have:
                args.append("".join(cur))
            cur, have = [], False
        elif c == '"':
            have, i = True, i + 1
            while text[i] != '"':
                if text[i] == "\\" and text[i + 1] in '"`$\\':
                    i += 1
                elif text[i] == "%":
                    if text[i + 1] != "%":
                        raise SystemExit("field code in a quoted argument")
                    i += 1
                cur.append(text[i])
                i += 1
        elif c == "%":
            i += 1
            if text[i] == "%":
                cur.append("%")
                have = True
        elif c in '\\`$\'<>|;&*?#()~\t\n':
            raise SystemExit("reserved character %r outside quotes" % c)
        else:
            cur.append(c)
            have = True
        i += 1
    if have:
        args.append("".join(cur))
    return args


args = split_exec(unescape(value(sys.argv[1], "Exec")))
sys.stdout.buffer.write(b"".join(a.encode("utf-8") + b"\0" for a in args))
