// Short jobs of the device actions that must not hold up the window while they wait on
// another program: looking up the default browser or the desktop folder (each runs a desktop
// helper that may take seconds), then starting the browser or writing the shortcut.
//
// Thread-safety: RunInBackground may be called from any thread; a job runs on a thread of its
// own and must touch no widget. BackgroundJobsRunning is for tests and shutdown: once it reads
// 0, everything the finished jobs wrote is visible to the reader.
#pragma once

#include <functional>

// Runs job on a new detached thread; on the calling thread when no thread can be had.
void RunInBackground(std::function<void()> job);

// The jobs started and not yet finished.
int BackgroundJobsRunning();
