#!/usr/bin/env python3
"""Turns the logs of one search benchmark run into a table (see search_bench.sh).

usage: bench_table.py DEVICE_LOG SCAN_TSV SCAN_TIMINGS GSSDP_OUT OUR_ADDR GSSDP_ADDR DELAY0_MS STEP_MS

All times are CLOCK_MONOTONIC of the one kernel the namespaces share. An answer's time is the
moment the device's sendto() returned (logged by the device); a publication's time is when
qvlink-scan saw count rise (it looks every millisecond); GSSDP's time is its
resource-available signal in the reference client.
"""

import re
import statistics
import sys


def ms(ns):
    return ns / 1e6


def main():
    dev_log, tsv, timings, gssdp, our_addr, gssdp_addr = sys.argv[1:7]
    delay0, step = float(sys.argv[7]), float(sys.argv[8])
    ports, our_reply, gssdp_reply = [], {}, {}
    for line in open(dev_log):
        f = line.split()
        if f[1] == "ready":
            ports = [int(p) for p in f[4].split("=")[1].split(",")]
        elif f[1] == "reply":
            dev = int(f[2].split("=")[1])
            to = f[4].split("=")[1].split(":")[0]
            table = our_reply if to == our_addr else gssdp_reply if to == gssdp_addr else None
            if table is not None and dev not in table:
                table[dev] = int(f[0])
    port_dev = {p: i for i, p in enumerate(ports)}
    index_dev = {}
    for line in open(tsv, "rb"):
        fields = line.split(b"\t")
        index_dev[int(fields[0])] = port_dev[int(fields[4].rsplit(b":", 1)[1])]
    published, start, done = {}, None, None
    for line in open(timings):
        f = line.split()
        if f[:2] == ["timing", "start"]:
            start = int(f[2])
        elif f[:2] == ["timing", "published"]:
            published[index_dev[int(f[2])]] = int(f[3])
        elif f[:2] == ["timing", "done"]:
            done = int(f[2])
    reported = {}
    for line in open(gssdp):
        m = re.match(r"available (\d+) uuid:qvl-\d+-(\d+)::", line)
        if m and int(m.group(2)) not in reported:
            reported[int(m.group(2))] = int(m.group(1))

    n = len(ports)
    print("%4s %9s %13s %13s %13s" % ("dev", "answer_at", "qvlink", "qvlink", "gssdp"))
    print("%4s %9s %13s %13s %13s" % ("", "ms", "published", "reply->pub", "reply->report"))
    ours, refs = [], []
    for i in range(n):
        pub = "-" if i not in published or i not in our_reply else "%.1f" % ms(published[i] - our_reply[i])
        ref = "-" if i not in reported or i not in gssdp_reply else "%.1f" % ms(reported[i] - gssdp_reply[i])
        if pub != "-":
            ours.append(float(pub))
        if ref != "-":
            refs.append(float(ref))
        print("%4d %9.0f %13s %13s %13s" % (i, delay0 + i * step, "yes" if i in published else "no", pub, ref))
    last = max(our_reply.values()) if our_reply else None

    def summary(values):
        if not values:
            return "none"
        return "min %.1f  median %.1f  max %.1f ms" % (min(values), statistics.median(values), max(values))

    print("qvlink-scan reply->published (%d of %d): %s" % (len(ours), n, summary(ours)))
    print("gssdp reply->reported       (%d of %d): %s" % (len(refs), n, summary(refs)))
    if last is not None and done is not None:
        print("qvlink-scan last reply->done: %.1f ms; search start->done: %.1f ms" % (ms(done - last),
                                                                                      ms(done - start)))


if __name__ == "__main__":
    main()
