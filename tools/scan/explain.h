// qvlink-scan --explain: what became of each answer of the search.
//
// Thread-safety: works on copies of the answer log taken by the caller.
#pragma once

#include <cstdio>
#include <explain.h>
#include <string>
#include <vector>

namespace qvscan {

// The outcome and its reason as one text: "fetch failed: refused", "listed".
std::string outcomeText(const qvd::AnswerRecord& record);

// One tab-separated line per answer, then "more answers not explained\tN" when N > 0.
void printExplainTsv(const std::vector<qvd::AnswerRecord>& answers, int notExplained, std::FILE* out);
// {"answers": [...], "notExplained": N}
void printExplainJson(const std::vector<qvd::AnswerRecord>& answers, int notExplained, std::FILE* out);

} // namespace qvscan
