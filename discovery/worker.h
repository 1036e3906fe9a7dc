// The discovery worker: one search that fills the device table.
//
// Thread-safety: runDiscoveryWorker and addDeviceFromReply run on the worker thread, the only
// writer of records, of count above 0 and of done = 1 (see devicetable.h).
#pragma once

#include "ssdp.h"

namespace qvd {

// Entry of the worker thread: the search, then done = 1 as its last act.
void runDiscoveryWorker();
// Fetches, parses and (for an accepted type) publishes the device of one kept reply. Only a
// location whose host is the numeric address the answer came from is fetched: an answer cannot
// send the fetch to another host, and no name is ever looked up.
// record, when given, receives what became of the reply.
ReplyOutcome addDeviceFromReply(const SsdpReply& reply, AnswerRecord* record = nullptr);

// True when location names, as a numeric IPv4 address, the host sourceAddress (network byte
// order).
bool locationIsOnHost(const char* location, std::uint32_t sourceAddress);
// Why such a location is not fetched, or Refusal::None when it is.
Refusal locationRefusal(const char* location, std::uint32_t sourceAddress);

// Starts entry on a new detached thread (never joined).
using WorkerEntry = void (*)();
void startDetachedWorker(WorkerEntry entry);

} // namespace qvd
