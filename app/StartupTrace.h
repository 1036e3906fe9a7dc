// Start-up checkpoints for finding where the time to the first frame goes. With the
// environment variable QVLINK_TRACE_STARTUP set (to anything but empty), each checkpoint
// prints one line to standard error:
//   qvlink-startup <CLOCK_MONOTONIC nanoseconds> <peak RSS KiB> <label>
// Absolute clock values, so that a caller that noted the time before it spawned the program
// can place each step (bench/startup/startup_bench.py --trace does). Unset, a checkpoint
// costs one cached flag test.
//
// Thread-safety: any thread; each line is written with one stdio call.
#pragma once

void StartupCheckpoint(const char* label);
