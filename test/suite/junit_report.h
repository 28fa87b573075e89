#pragma once

// The suite as JUnit XML: one testsuite named after the run (its identity as
// attributes and properties), one testcase per case.

#include <string>
#include <vector>

#include "case_result.h"
#include "run_identity.h"

namespace zor::test::suite {

// `tally` counts `results`; `seconds`: the whole run. A failed case's
// validation log, read from `report_dir`, is its system-out. With
// `fail_on_change`, a case that passed but changed from the baseline model is
// a failure of type "changed" whose message is its furthest moved angle.
std::string JunitXml(const std::vector<CaseResult>& results, const Tally& tally, double seconds,
                     const RunIdentity& identity, const std::string& report_dir, bool fail_on_change);

}  // namespace zor::test::suite
