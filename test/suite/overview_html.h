#pragma once

// The overview at the top of report.html: per angle the signed mean and
// median change, the largest with its case, how many are past their
// allowance, and a histogram; what changed since the previous run; the
// command that accepts the failed cases.

#include <string>
#include <vector>

#include "case_result.h"
#include "overview.h"
#include "suite_options.h"

namespace zor::test::suite {

// Every figure also stands in the angle row's data attributes (data-angle,
// data-count, data-mean, data-median, data-largest, data-largest-case,
// data-past), in full precision. `accept_command` is shown when not empty;
// `with_previous` adds the comparison with the previous run, with the cases
// only that run held (`only_in_previous`) and those only this run holds.
std::string OverviewHtml(const Overview& overview, const std::vector<CaseResult>& results,
                         const std::string& accept_command, bool with_previous,
                         const std::vector<std::string>& only_in_previous);

// The command that records the failed cases' expectations again from the
// model: "record_facepose -m MODEL -c CASES --update [--filter TEXT]", each
// word quoted for a POSIX shell where it needs to be.
std::string AcceptCommand(const SuiteOptions& options);

}  // namespace zor::test::suite
