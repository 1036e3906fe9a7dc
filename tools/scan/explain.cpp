#include "explain.h"

#include "escape.h"

#include <arpa/inet.h>
#include <array>
#include <cstring>
#include <netinet/in.h>
#include <string_view>

namespace qvscan {

namespace {

std::string_view text(const char* field, std::size_t size)
{
    return {field, strnlen(field, size)};
}

std::string addressText(std::uint32_t address)
{
    if (address == 0) {
        return "";
    }
    in_addr in{};
    in.s_addr = address;
    std::array<char, INET_ADDRSTRLEN> buffer{};
    return inet_ntop(AF_INET, &in, buffer.data(), buffer.size()) != nullptr ? buffer.data() : "";
}

std::string fetchReason(const qvd::FetchReport& fetch)
{
    std::string reason = qvd::fetchErrorText(fetch.error);
    if (fetch.error == qvd::FetchError::NotHttp200 && fetch.httpStatus != 0) {
        reason += " (status " + std::to_string(fetch.httpStatus) + ")";
    } else if (fetch.error == qvd::FetchError::NotHttp200) {
        reason += " (no status line)";
    } else if (fetch.error == qvd::FetchError::Unreachable && fetch.systemError != 0) {
        reason += " (error " + std::to_string(fetch.systemError) + ")";
    }
    return reason;
}

// The reason part of the outcome, empty when the outcome says it all.
std::string reasonText(const qvd::AnswerRecord& record)
{
    switch (record.fate) {
    case qvd::AnswerFate::LocationRefused:
        return qvd::refusalText(record.refusal);
    case qvd::AnswerFate::FetchFailed:
        return fetchReason(record.fetch);
    case qvd::AnswerFate::LimitReached:
        return qvd::limitText(record.limit);
    case qvd::AnswerFate::TypeNotAccepted:
        return text(record.deviceType, sizeof record.deviceType).empty() ? "no device type" : "";
    case qvd::AnswerFate::Incomplete:
        return text(record.location, sizeof record.location).empty() ? "no location" : "no search target";
    default:
        return "";
    }
}

struct Column
{
    const char* name;
    std::string value;
};

std::array<Column, 8> columns(const qvd::AnswerRecord& r)
{
    return {{{"interface", std::string(text(r.interfaceName, sizeof r.interfaceName))},
             {"from", addressText(r.sourceAddress)},
             {"location", std::string(text(r.location, sizeof r.location))},
             {"usn", std::string(text(r.usn, sizeof r.usn))},
             {"deviceType", std::string(text(r.deviceType, sizeof r.deviceType))},
             {"manufacturer", std::string(text(r.manufacturer, sizeof r.manufacturer))},
             {"friendlyName", std::string(text(r.friendlyName, sizeof r.friendlyName))},
             {"record", r.deviceIndex >= 0 ? std::to_string(r.deviceIndex) : std::string()}}};
}

} // namespace

std::string outcomeText(const qvd::AnswerRecord& record)
{
    std::string out = qvd::fateText(record.fate);
    const std::string reason = reasonText(record);
    if (!reason.empty()) {
        out += ": " + reason;
    }
    return out;
}

void printExplainTsv(const std::vector<qvd::AnswerRecord>& answers, int notExplained, std::FILE* out)
{
    for (std::size_t index = 0; index < answers.size(); ++index) {
        std::string line = std::to_string(index) + '\t' + outcomeText(answers[index]);
        for (const Column& column : columns(answers[index])) {
            line += '\t';
            line += column.value.empty() ? "-" : escapeTsv(column.value);
        }
        line += '\n';
        std::fputs(line.c_str(), out);
    }
    if (notExplained > 0) {
        std::fprintf(out, "more answers not explained\t%d\n", notExplained);
    }
}

void printExplainJson(const std::vector<qvd::AnswerRecord>& answers, int notExplained, std::FILE* file)
{
    std::string out = "{\"answers\": [";
    for (std::size_t index = 0; index < answers.size(); ++index) {
        const qvd::AnswerRecord& r = answers[index];
        out += index == 0 ? "\n  {" : ",\n  {";
        out += "\"index\": " + std::to_string(index);
        out += ", \"outcome\": " + escapeJson(qvd::fateText(r.fate));
        out += ", \"reason\": " + escapeJson(reasonText(r));
        for (const Column& column : columns(r)) {
            out += ", \"";
            out += column.name;
            out += "\": ";
            if (std::strcmp(column.name, "record") == 0) {
                out += column.value.empty() ? "null" : column.value;
            } else {
                out += escapeJson(column.value);
            }
        }
        out += ", \"httpStatus\": " + std::to_string(r.fetch.httpStatus);
        out += '}';
    }
    out += answers.empty() ? "]" : "\n]";
    out += ", \"notExplained\": " + std::to_string(notExplained) + "}\n";
    std::fputs(out.c_str(), file);
}

} // namespace qvscan
