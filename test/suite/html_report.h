#pragma once

// The suite as one self-contained HTML page: a summary line and a table of
// the cases, failures first, with their annotated pictures (files beside the
// page), values, differences and verdicts, and a filter for failed cases.

#include <string>
#include <vector>

#include "case_result.h"

namespace zor::test::suite {

// `title_note` follows the summary (the model, the cases, the shard).
// `tally` counts `results`.
std::string ReportHtml(const std::vector<CaseResult>& results, const Tally& tally, const std::string& title_note);

// The page around case rows made by ReportHtml, in the order given.
std::string ReportPage(const std::vector<std::string>& rows, const Tally& tally, const std::string& title_note);

// Text for an HTML attribute or element, as the page writes a case's name.
std::string HtmlText(const std::string& text);

}  // namespace zor::test::suite
