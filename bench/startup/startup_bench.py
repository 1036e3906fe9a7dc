#!/usr/bin/env python3
"""Start-up to the first painted frame, and peak resident memory, of the program beside two
reference programs: a minimal Qt 6 window, and a bare Qt 6 window that shows one line of text
in the program's font (the yardstick: the program's ratios to it are printed last). All run
under one Xvfb in the same run, interleaved.

    startup_bench.py QVLINK_PROBE MINIMAL_PROBE TEXT_PROBE [RUNS]
    startup_bench.py --trace QVLINK_PROBE MINIMAL_PROBE TEXT_PROBE [RUNS]

Runs inside a network namespace of its own (the program searches the network when it
starts); refuses to run when an interface other than lo is present. Each run starts the
program fresh; the time is taken from just before the process is spawned to the end of the
first paint of its main window (both CLOCK_MONOTONIC). The file cache is warm after the first
run, so the figures are warm start-ups; the first run's figure is printed apart.
"""
import os
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HOLD_MS = 3000
DISPLAY = ""


def isolated():
    return [name for _, name in socket.if_nameindex()] == ["lo"]


def free_display():
    # Other people's servers on this machine keep their numbers: the first one without a lock.
    for number in range(79, 120):
        if not os.path.exists(f"/tmp/.X{number}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            return f":{number}"
    sys.exit("no free X display number")


def start_xvfb():
    global DISPLAY
    DISPLAY = free_display()
    xvfb = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if subprocess.run(["xdpyinfo", "-display", DISPLAY], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0:
            return xvfb
        time.sleep(0.1)
    xvfb.terminate()
    sys.exit("Xvfb did not start")


def run_once(program, runtime_dir, hold_ms=0, trace=False):
    env = dict(os.environ, DISPLAY=DISPLAY, XDG_RUNTIME_DIR=runtime_dir, QT_QPA_PLATFORM="xcb",
               LANG="C.UTF-8", LC_ALL="", LANGUAGE="")
    if trace:
        env["QVLINK_TRACE_STARTUP"] = "1"
    args = [program] + ([str(hold_ms)] if hold_ms else [])
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic_ns()
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE if trace else subprocess.DEVNULL,
                            env=env, text=True)
    try:
        out, err = proc.communicate(timeout=30 + hold_ms / 1000)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        sys.exit(f"{program} did not report a first frame")
    fields = dict(item.split("=", 1) for item in out.split())
    # The program ends right after its first frame, so the processor time of the reaped child
    # is the time it computed to get there, much less disturbed by other load than the clock.
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu_ms = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1000
    steps = []
    for line in (err or "").splitlines():
        parts = line.split(" ", 3)
        if len(parts) == 4 and parts[0] == "qvlink-startup":
            steps.append((parts[3], (int(parts[1]) - start) / 1e6, int(parts[2])))
    steps.append(("first frame painted", (int(fields["first_paint_ns"]) - start) / 1e6, int(fields["maxrss_kb"])))
    return {
        "ms": (int(fields["first_paint_ns"]) - start) / 1e6,
        "rss": int(fields["maxrss_kb"]),
        "hold_rss": int(fields.get("hold_maxrss_kb", 0)),
        "cpu_ms": cpu_ms,
        "steps": steps,
    }


def print_trace(programs, results):
    for name in programs:
        print(f"{name}: checkpoint, median ms since spawn, median peak RSS KiB at that point")
        labels = [label for label, _, _ in results[name][0]["steps"]]
        for label in labels:
            times = [ms for r in results[name] for lab, ms, _ in r["steps"] if lab == label]
            rss = [kb for r in results[name] for lab, _, kb in r["steps"] if lab == label]
            print(f"  {label:32} {statistics.median(times):8.1f} {statistics.median(rss):8.0f}")


def main():
    argv = sys.argv[1:]
    trace = bool(argv) and argv[0] == "--trace"
    if trace:
        argv = argv[1:]
    if len(argv) < 3:
        sys.exit(__doc__)
    if not isolated():
        sys.exit("refusing to run: not in an isolated network namespace (only lo expected)")
    programs = {"qvlink": argv[0], "minimal": argv[1], "one-line": argv[2]}
    runs = int(argv[3]) if len(argv) > 3 else 9
    xvfb = start_xvfb()
    try:
        results = {name: [] for name in programs}
        held = {}
        with tempfile.TemporaryDirectory() as runtime:
            os.chmod(runtime, 0o700)
            for i in range(runs):
                names = list(programs)
                order = names[i % len(names):] + names[:i % len(names)]
                for name in order:
                    results[name].append(run_once(programs[name], runtime, trace=trace))
            if trace:
                print_trace(programs, results)
                return
            for name, program in programs.items():
                held[name] = run_once(program, runtime, HOLD_MS)["hold_rss"]
    finally:
        xvfb.terminate()
        xvfb.wait()

    print(f"Start-up to the first painted frame under Xvfb, {runs} runs each (warm file cache after run 1)")
    print(f"{'program':10} {'first run ms':>12} {'median ms':>10} {'min ms':>8} {'max ms':>8} "
          f"{'peak RSS at frame KiB':>22} {'peak RSS after 3 s KiB':>23} {'median CPU ms':>14}")
    summary = {}
    for name in programs:
        times = [r["ms"] for r in results[name]]
        rss = statistics.median(r["rss"] for r in results[name])
        cpu = statistics.median(r["cpu_ms"] for r in results[name])
        summary[name] = (statistics.median(times), rss, held[name], cpu)
        print(f"{name:10} {times[0]:12.1f} {statistics.median(times):10.1f} {min(times):8.1f} {max(times):8.1f} "
              f"{rss:22.0f} {held[name]:23d} {cpu:14.1f}")
    q = summary["qvlink"]
    for reference in ("minimal", "one-line"):
        m = summary[reference]
        print(f"ratio qvlink/{reference}: start-up {q[0] / m[0]:.2f}, peak RSS at frame {q[1] / m[1]:.2f}, "
              f"peak RSS after 3 s {q[2] / m[2]:.2f}, CPU to the first frame {q[3] / m[3]:.2f}")


if __name__ == "__main__":
    main()
