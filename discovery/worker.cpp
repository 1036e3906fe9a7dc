#include "worker.h"

#include "description.h"
#include "devicetable.h"
#include "http.h"
#include "ssdp.h"

#include <arpa/inet.h>
#include <cstring>
#include <thread>

namespace qvd {

void runDiscoveryWorker()
{
    // The search's own result plays no part: a search that could not even open its socket
    // simply leaves the table empty.
    SearchResult result = SearchResult::SearchFailed;
    freeReplyList(ssdpSearch(&result, 0));
    // Release: every record published by this search happens-before a reader's acquire load
    // that sees done == 1, so the count it loads afterwards is final.
    deviceList().done.store(1, std::memory_order_release);
}

bool locationIsOnHost(const char* location, std::uint32_t sourceAddress)
{
    const std::optional<HttpUrl> parts = parseHttpUrl(location);
    in_addr host{};
    // inet_pton takes only the four-part dotted form, which the resolver never looks up.
    return parts && sourceAddress != 0 && ::inet_pton(AF_INET, parts->host, &host) == 1 && host.s_addr == sourceAddress;
}

ReplyOutcome addDeviceFromReply(const SsdpReply& reply)
{
    DeviceList& list = deviceList();
    // Relaxed: this thread is the only writer of count while the search runs; the reset that
    // zeroed it happened before the thread started.
    const int index = list.count.load(std::memory_order_relaxed);
    if (index >= MaxDevices || !locationIsOnHost(reply.location, reply.sourceAddress)) {
        return ReplyOutcome::NotPublished;
    }
    std::size_t length = 0;
    std::optional<HttpBody> body = httpGetUrl(reply.location, &length);
    if (!body) {
        return ReplyOutcome::FetchFailed;
    }
    DeviceRecord& slot = list.records[index];
    std::memset(&slot, 0, sizeof slot);
    copyField(slot.hostPort, reply.location, std::strlen(reply.location));
    parseDescription(body->data(), length < body->size() ? length : body->size(), slot);
    body.reset();
    shortenDeviceType(slot);
    if (!isKnownDeviceType(slot)) {
        return ReplyOutcome::NotPublished;
    }
    cutToHostPort(slot);
    // Release: the bytes of the record above happen-before any read of it by a reader whose
    // acquire load sees the new count.
    list.count.store(index + 1, std::memory_order_release);
    return ReplyOutcome::Published;
}

void startDetachedWorker(WorkerEntry entry)
{
    std::thread(entry).detach();
}

} // namespace qvd
