#pragma once

// The suite as one self-contained HTML page: a summary line and a table of
// the cases, failures first, with their annotated pictures (files beside the
// page), values, differences and verdicts, and a filter for failed cases.

#include <string>
#include <vector>

#include "case_result.h"

namespace zor::test::suite {

// `title_note` follows the summary (the model, the cases, the shard), then
// `overview` (OverviewHtml). `tally` counts `results`. The cases come
// failed ones first, worst first, then those that could not run, then the
// rest; with `with_baseline` each shows the baseline model's pose beside
// the new one.
std::string ReportHtml(const std::vector<CaseResult>& results, const Tally& tally, const std::string& title_note,
                       const std::string& overview, bool with_baseline);

// The page around case rows made by ReportHtml, in the order given, with
// `overview` above the table.
std::string ReportPage(const std::vector<std::string>& rows, const Tally& tally, const std::string& title_note,
                       const std::string& overview = "");

}  // namespace zor::test::suite
