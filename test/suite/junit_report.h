#pragma once

// The suite as JUnit XML: one testsuite, one testcase per case.

#include <string>
#include <vector>

#include "case_result.h"

namespace facepose_suite {

std::string JunitXml(const std::vector<CaseResult>& results, double seconds);

}  // namespace facepose_suite
