#pragma once

// The comparison with an earlier run of the same cases (--previous): its
// verdicts and poses, read from that run's results.json.

#include <string>
#include <vector>

#include "case_result.h"

namespace zor::test::suite {

// The earlier run's record of each of `cases`, in their order (not present
// for a case only in this run); the cases only in that run, in name order, in
// `only_before`. False, with why in `why` (naming the file), when its
// results.json cannot be used (see ReadResultsJson).
bool ReadPreviousRun(const std::string& report_dir, const std::vector<CaseFiles>& cases,
                     std::vector<PreviousCase>& previous, std::vector<std::string>& only_before, std::string& why);

// The line that says which cases only one of the runs holds, e.g. "R/results.json
// holds other cases: only in that run: a; only in this run: b"; empty when
// both hold the same cases.
std::string CaseSetNote(const std::string& report_dir, const std::vector<PreviousCase>& previous,
                        const std::vector<CaseFiles>& cases, const std::vector<std::string>& only_before);

// Passed before and does not now.
bool NewlyFailing(const CaseResult& result);

// Did not pass before and does now.
bool NewlyPassing(const CaseResult& result);

// The pose now minus the pose before, per angle; empty when either run had no pose.
std::vector<float> ChangesSincePrevious(const CaseResult& result);

}  // namespace zor::test::suite
