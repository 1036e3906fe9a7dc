#include "worker.h"

#include "description.h"
#include "devicetable.h"
#include "explain.h"
#include "filter.h"
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

Refusal locationRefusal(const char* location, std::uint32_t sourceAddress)
{
    const std::optional<HttpUrl> parts = parseHttpUrl(location);
    if (!parts) {
        return Refusal::NotHttp;
    }
    in_addr host{};
    // inet_pton takes only the four-part dotted form, which the resolver never looks up.
    if (::inet_pton(AF_INET, parts->host, &host) != 1) {
        return Refusal::HostName;
    }
    return sourceAddress != 0 && host.s_addr == sourceAddress ? Refusal::None : Refusal::AnotherHost;
}

bool locationIsOnHost(const char* location, std::uint32_t sourceAddress)
{
    return locationRefusal(location, sourceAddress) == Refusal::None;
}

namespace {

// A body came back and still gave no accepted type: a broken answer explains that better than
// the type it failed to carry.
FetchError answerFault(const FetchReport& fetch)
{
    if (fetch.httpStatus != 200) {
        return FetchError::NotHttp200;
    }
    if (fetch.tooLarge) {
        return FetchError::TooLarge;
    }
    if (fetch.incomplete) {
        return fetch.timedOut ? FetchError::TimedOut : FetchError::CutOff;
    }
    return FetchError::None;
}

void explainParsed(AnswerRecord& record, const DeviceRecord& slot)
{
    copyAnswerText(record.deviceType, slot.deviceType);
    copyAnswerText(record.manufacturer, slot.manufacturer);
    copyAnswerText(record.friendlyName, slot.friendlyName);
    if (isKnownDeviceType(slot)) {
        return;
    }
    record.fetch.error = answerFault(record.fetch);
    record.fate = record.fetch.error == FetchError::None ? AnswerFate::TypeNotAccepted : AnswerFate::FetchFailed;
}

} // namespace

ReplyOutcome addDeviceFromReply(const SsdpReply& reply, AnswerRecord* record)
{
    DeviceList& list = deviceList();
    // Relaxed: this thread is the only writer of count while the search runs; the reset that
    // zeroed it happened before the thread started.
    const int index = list.count.load(std::memory_order_relaxed);
    if (index >= MaxDevices) {
        if (record != nullptr) {
            record->fate = AnswerFate::LimitReached;
            record->limit = SearchLimit::DeviceTable;
        }
        return ReplyOutcome::NotPublished;
    }
    const Refusal refusal = locationRefusal(reply.location, reply.sourceAddress);
    if (refusal != Refusal::None) {
        if (record != nullptr) {
            record->fate = AnswerFate::LocationRefused;
            record->refusal = refusal;
        }
        return ReplyOutcome::NotPublished;
    }
    std::size_t length = 0;
    FetchReport fetch;
    std::optional<HttpBody> body = httpGetUrl(reply.location, &length, nullptr, record != nullptr ? &fetch : nullptr);
    if (record != nullptr) {
        record->fetch = fetch;
    }
    if (!body) {
        if (record != nullptr) {
            record->fate = AnswerFate::FetchFailed;
        }
        return ReplyOutcome::FetchFailed;
    }
    DeviceRecord& slot = list.records[index];
    std::memset(&slot, 0, sizeof slot);
    copyField(slot.hostPort, reply.location, std::strlen(reply.location));
    parseDescription(body->data(), length < body->size() ? length : body->size(), slot);
    body.reset();
    shortenDeviceType(slot);
    if (record != nullptr) {
        explainParsed(*record, slot);
    }
    if (!isKnownDeviceType(slot)) {
        return ReplyOutcome::NotPublished;
    }
    cutToHostPort(slot);
    if (record != nullptr) {
        record->fate = isListedDevice(slot) ? AnswerFate::Listed : AnswerFate::OtherMaker;
        record->deviceIndex = index;
    }
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
