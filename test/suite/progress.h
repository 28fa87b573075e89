#pragma once

// Progress of a suite run: one line per case on the output, in case order
// whatever order the workers finish in; on a terminal, one updating line
// with done/total, failures so far and the time left.

#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

#include "case_result.h"

namespace zor::test::suite {

class Progress {
public:
    // `terminal` is null when the progress line is not wanted.
    Progress(std::FILE* out, std::FILE* terminal, const std::vector<CaseResult>& results);
    ~Progress();

    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Case `index` of `results` is complete. Safe to call from any worker.
    void Done(size_t index);

private:
    void UpdateTerminal();

    std::FILE* m_out;
    std::FILE* m_terminal;
    const std::vector<CaseResult>& m_results;
    std::vector<bool> m_done;
    size_t m_printed = 0;  // lines written, in case order
    Tally m_tally;  // the cases finished so far
    std::chrono::steady_clock::time_point m_start;
    std::mutex m_mutex;
};

// The case's line: "passed NAME (12 ms)", "failed NAME (209 ms): pitch +3.15 (allowed ±1)"
// (the value furthest past its allowance) or "error NAME (3 ms): REASON", with
// the name and the reason printable on one line (see PrintableText); a case
// that changed from the baseline model ends with ", changed: pitch +2.00 (allowed ±1)".
std::string CaseLine(const CaseResult& result);

}  // namespace zor::test::suite
