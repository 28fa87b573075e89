#pragma once

// The comparison with an earlier run of the same cases (--previous): its
// verdicts and poses, read from that run's results.json.

#include <string>
#include <vector>

#include "case_result.h"

namespace zor::test::suite {

// The earlier run's record of each of `cases`, in their order. False, with
// why in `why` (naming the file), when its results.json cannot be used
// (see ReadResultsJson) or holds another case set: the cases only in one
// run are listed.
bool ReadPreviousRun(const std::string& report_dir, const std::vector<CaseFiles>& cases,
                     std::vector<PreviousCase>& previous, std::string& why);

// Passed before and does not now.
bool NewlyFailing(const CaseResult& result);

// Did not pass before and does now.
bool NewlyPassing(const CaseResult& result);

// The pose now minus the pose before, per angle; empty when either run had no pose.
std::vector<float> ChangesSincePrevious(const CaseResult& result);

}  // namespace zor::test::suite
