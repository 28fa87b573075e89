#pragma once

// The suite as JUnit XML: one testsuite, one testcase per case.

#include <string>
#include <vector>

#include "case_result.h"

namespace zor::test::suite {

// `tally` counts `results`; `seconds`: the whole run.
std::string JunitXml(const std::vector<CaseResult>& results, const Tally& tally, double seconds);

}  // namespace zor::test::suite
