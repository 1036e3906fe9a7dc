// The discovery worker: one search that fills the device table.
//
// Thread-safety: runDiscoveryWorker and addDeviceFromReply run on the worker thread, the only
// writer of records, of count above 0 and of done = 1 (see devicetable.h).
#pragma once

namespace qvd {

struct SsdpReply;

// Entry of the worker thread: the search, then done = 1 as its last act.
void runDiscoveryWorker();
// Fetches, parses and (for an accepted type) publishes the device of one kept reply.
void addDeviceFromReply(const SsdpReply& reply);

// Starts entry on a new detached thread (never joined).
using WorkerEntry = void (*)();
void startDetachedWorker(WorkerEntry entry);

} // namespace qvd
