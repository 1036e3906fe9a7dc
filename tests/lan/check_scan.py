#!/usr/bin/env python3
"""Checks that a qvlink-scan TSV output and a --json output agree.

usage: check_scan.py TSV_FILE JSON_FILE

TSV: one line per record, 14 tab-separated fields, index counting from 0, 'listed' or
'not-listed', no raw control byte, no UTF-8 encoded C1 or bidirectional control. JSON: strict JSON, one object per TSV line with the same
keys and values (matched by hostPort, as the two come from two searches): the TSV escapes
undone give the device's bytes; the JSON text must be those bytes read as UTF-8 where valid
and as Latin-1 byte by byte where not.
"""

import codecs
import json
import re
import sys

FIELDS = ["deviceType", "friendlyName", "hostPort", "manufacturer", "manufacturerURL", "modelDescription",
          "modelName", "modelNumber", "modelURL", "UDN", "presentationURL", "elementName"]
ESCAPES = {b"t": b"\t", b"n": b"\n", b"r": b"\r", b"\\": b"\\"}

codecs.register_error("qvl-latin1", lambda e: (chr(e.object[e.start]), e.start + 1))


def fail(message):
    sys.exit("check_scan: " + message)


def text(raw):
    return raw.decode("utf-8", errors="qvl-latin1")


def unescape(field):
    def one(match):
        if match[1] in ESCAPES:
            return ESCAPES[match[1]]
        if re.fullmatch(rb"x[0-9a-f]{2}", match[1]):
            return bytes([int(match[1][1:], 16)])
        if re.fullmatch(rb"u[0-9a-f]{4}", match[1]):
            return chr(int(match[1][1:], 16)).encode("utf-8")
        fail("bad escape %r in %r" % (match[0], field))
    return re.sub(rb"\\(x[0-9a-f]{2}|u[0-9a-f]{4}|.?)", one, field, flags=re.S)


def main():
    tsv = open(sys.argv[1], "rb").read()
    if tsv and not tsv.endswith(b"\n"):
        fail("TSV does not end with a line end")
    try:
        objects = json.loads(open(sys.argv[2], "rb").read().decode("utf-8"))
    except ValueError as e:
        fail("JSON does not parse: %s" % e)
    if not isinstance(objects, list):
        fail("JSON is not an array")
    by_host = {}
    for number, obj in enumerate(objects):
        if not isinstance(obj, dict) or set(obj) != set(FIELDS) | {"index", "listed"} or obj["index"] != number:
            fail("JSON record %d: %r" % (number, obj))
        by_host[obj["hostPort"]] = obj
    lines = tsv.split(b"\n")[:-1]
    if len(by_host) != len(objects) or len(objects) != len(lines):
        fail("%d JSON records, %d hostPorts, %d TSV lines" % (len(objects), len(by_host), len(lines)))
    for number, line in enumerate(lines):
        fields = line.split(b"\t")
        if re.search(rb"[\x00-\x08\x0a-\x1f\x7f]|\xc2[\x80-\x9f]|\xe2\x80[\xaa-\xae]|\xe2\x81[\xa6-\xa9]", line) \
                or len(fields) != 14:
            fail("TSV line %d: %r" % (number, line))
        if fields[0] != b"%d" % number or fields[1] not in (b"listed", b"not-listed"):
            fail("TSV line %d: index or filter %r" % (number, fields[:2]))
        values = [unescape(f) for f in fields[2:]]
        obj = by_host.get(text(values[2]), {})
        if obj.get("listed") is not (fields[1] == b"listed"):
            fail("TSV line %d: no JSON record of its hostPort and filter" % number)
        for name, value in zip(FIELDS, values):
            if obj[name] != text(value):
                fail("record %d %s: JSON %r, TSV %r" % (number, name, obj[name], value))
    print("check_scan: %d records, TSV and JSON agree" % len(lines))


if __name__ == "__main__":
    main()
