#!/usr/bin/env python3
"""Checks that a qvlink-scan TSV output and a --json output agree.

usage: check_scan.py TSV_FILE JSON_FILE

TSV: one line per record, 14 tab-separated fields, index counting from 0, 'listed' or
'not-listed', no raw control byte. JSON: strict JSON, one object per TSV line with the same
keys and values (matched by hostPort): the TSV escapes undone give the device's bytes; the
JSON text must be those bytes read as UTF-8 where valid and as Latin-1 byte by byte where not.
"""

import codecs
import json
import re
import sys

FIELDS = ["deviceType", "friendlyName", "hostPort", "manufacturer", "manufacturerURL", "modelDescription",
          "modelName", "modelNumber", "modelURL", "UDN", "presentationURL", "elementName"]


def latin1_per_byte(error):
    return chr(error.object[error.start]), error.start + 1


codecs.register_error("qvl-latin1", latin1_per_byte)


def unescape_tsv(text):
    out = bytearray()
    i = 0
    simple = {ord("t"): 9, ord("n"): 10, ord("r"): 13, ord("\\"): 92}
    while i < len(text):
        if text[i] != 0x5C:
            out.append(text[i])
            i += 1
        elif i + 1 < len(text) and text[i + 1] in simple:
            out.append(simple[text[i + 1]])
            i += 2
        elif text[i + 1:i + 2] == b"x" and re.fullmatch(rb"[0-9a-f]{2}", text[i + 2:i + 4]):
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            raise ValueError("bad escape at %d in %r" % (i, text))
    return bytes(out)


def fail(message):
    print("check_scan: " + message, file=sys.stderr)
    sys.exit(1)


def read_tsv(path):
    lines = open(path, "rb").read().split(b"\n")
    if lines[-1] != b"":
        fail("TSV does not end with a line end")
    records = []
    for number, line in enumerate(lines[:-1]):
        if re.search(rb"[\x00-\x08\x0a-\x1f\x7f]", line):
            fail("raw control byte in TSV line %d" % number)
        fields = line.split(b"\t")
        if len(fields) != 14:
            fail("TSV line %d has %d fields" % (number, len(fields)))
        if fields[0] != str(number).encode():
            fail("TSV line %d has index %r" % (number, fields[0]))
        if fields[1] not in (b"listed", b"not-listed"):
            fail("TSV line %d: %r" % (number, fields[1]))
        records.append((fields[1] == b"listed", [unescape_tsv(f) for f in fields[2:]]))
    return records


def read_json(path):
    try:
        objects = json.loads(open(path, "rb").read().decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as e:
        fail("JSON does not parse: %s" % e)
    if not isinstance(objects, list):
        fail("JSON is not an array")
    # The two outputs may come from two searches, whose arrival order can differ: records are
    # matched by hostPort, which is unique per device in the test LAN.
    by_host = {}
    for number, obj in enumerate(objects):
        if not isinstance(obj, dict) or set(obj) != set(FIELDS) | {"index", "listed"}:
            fail("JSON record %d keys" % number)
        if obj["index"] != number:
            fail("JSON record %d has index %r" % (number, obj["index"]))
        by_host[obj["hostPort"]] = obj
    if len(by_host) != len(objects):
        fail("hostPort repeated in JSON")
    return by_host


def main():
    records = read_tsv(sys.argv[1])
    by_host = read_json(sys.argv[2])
    if len(by_host) != len(records):
        fail("JSON has %d records, TSV %d" % (len(by_host), len(records)))
    for number, (listed, values) in enumerate(records):
        obj = by_host.get(values[2].decode("utf-8", errors="qvl-latin1"))
        if obj is None:
            fail("TSV record %d (%r) missing in JSON" % (number, values[2]))
        if obj["listed"] is not listed:
            fail("record %d: JSON listed %r, TSV %r" % (number, obj["listed"], listed))
        for name, value in zip(FIELDS, values):
            if obj[name] != value.decode("utf-8", errors="qvl-latin1"):
                fail("record %d %s: JSON %r, TSV %r" % (number, name, obj[name], value))
    print("check_scan: %d records, TSV and JSON agree" % len(records))


if __name__ == "__main__":
    main()
