#!/usr/bin/env python3
"""Figures of interfaces_bench.sh.

run LABEL N SCAN_OUT SCAN_ERR DEVICE_LOG...: one line "LABEL N devices publish_ms done_ms
after_last_answer_ms" for the search whose --timings are in SCAN_ERR; the answers are the
device logs' reply lines between the search's start and its end (CLOCK_MONOTONIC, shared by
all namespaces).
table FIGURES: the medians per label and interface count.
"""

import statistics
import sys


def run(label, n, out_path, err_path, logs):
    start = done = None
    published = []
    for line in open(err_path):
        f = line.split()
        if f[:2] == ["timing", "start"]:
            start = int(f[2])
        elif f[:2] == ["timing", "published"]:
            published.append(int(f[3]))
        elif f[:2] == ["timing", "done"]:
            done = int(f[2])
    if start is None or done is None:
        sys.exit("no timings in " + err_path)
    answers = []
    for path in logs:
        for line in open(path):
            f = line.split()
            if len(f) > 1 and f[1] == "reply" and start <= int(f[0]) <= done:
                answers.append(int(f[0]))
    devices = sum(1 for _ in open(out_path))
    last_pub = (max(published) - start) / 1e6 if published else float("nan")
    after = (done - max(answers)) / 1e6 if answers else float("nan")
    print("%s %s %d %.3f %.3f %.3f" % (label, n, devices, last_pub, (done - start) / 1e6, after))


def table(path):
    rows = {}
    for line in open(path):
        label, n, devices, pub, done, after = line.split()
        rows.setdefault((label, int(n)), []).append((int(devices), float(pub), float(done), float(after)))
    print("%-8s %10s %8s %22s %16s %26s" % ("build", "interfaces", "devices", "last published (ms)",
                                             "search end (ms)", "end after last answer (ms)"))
    base = None
    for (label, n), runs in sorted(rows.items(), key=lambda kv: (kv[0][0] != "earlier", kv[0][1])):
        pub = statistics.median(r[1] for r in runs)
        if label == "current" and n == 1:
            base = pub
        extra = ""
        if label == "current" and base is not None and n > 1:
            extra = "  (+%.3f ms per added interface)" % ((pub - base) / (n - 1))
        print("%-8s %10d %8s %22.3f %16.3f %26.3f%s" % (label, n, "/".join(sorted({str(r[0]) for r in runs})), pub,
                                                      statistics.median(r[2] for r in runs),
                                                      statistics.median(r[3] for r in runs), extra))


if __name__ == "__main__":
    if sys.argv[1] == "run":
        run(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6:])
    else:
        table(sys.argv[2])
