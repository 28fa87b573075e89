#include "case_result.h"

namespace zor::test::suite {

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::kPassed: return "passed";
    case Verdict::kFailed: return "failed";
    case Verdict::kCompared: return "compared";
    default: return "error";
    }
}

void Tally::Add(Verdict verdict)
{
    switch (verdict) {
    case Verdict::kPassed: ++passed; break;
    case Verdict::kFailed: ++failed; break;
    case Verdict::kError: ++could_not_run; break;
    case Verdict::kCompared: ++compared; break;
    }
}

Tally CountVerdicts(const std::vector<CaseResult>& results)
{
    Tally tally;
    for (const CaseResult& result : results) {
        tally.Add(result.verdict);
    }
    return tally;
}

}  // namespace zor::test::suite
