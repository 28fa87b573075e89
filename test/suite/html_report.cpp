#include "html_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "clean_text.h"
#include "pose_change.h"
#include "previous_run.h"
#include "value_text.h"

namespace zor::test::suite {
namespace {

const char kHead[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>facepose_suite report</title>
<style>
body { font-family: sans-serif; margin: 1em; }
table.cases { border-collapse: collapse; }
table.cases > tbody > tr > td, table.cases > thead > tr > th { border-top: 1px solid #ccc; padding: 6px; vertical-align: top; text-align: left; }
tr.failed .verdict, tr.error .verdict, td.bad { color: #b00; font-weight: bold; }
tr.passed .verdict { color: #070; }
.changed-mark { color: #b60; font-weight: bold; }
table.overview td, table.overview th { padding: 2px 10px; text-align: right; vertical-align: middle; }
svg.histogram .bar { fill: #357; }
svg.histogram .allowance { fill: #cec; }
svg.histogram .allowance-wide { fill: #efe; }
svg.histogram .axis { stroke: #555; }
svg.histogram text { font-size: 10px; fill: #333; }
table.values td, table.values th { padding: 1px 8px; text-align: right; }
img { width: 200px; height: auto; }
.note { color: #555; }
</style>
</head>
<body>
<h1>Face-pose suite</h1>
)";

const char kTail[] = R"(<p class="note">Pictures: the face box and the 68 landmarks; the head-pose axes from the tip of the nose,
thick with arrows for the actual pose (x red, y green, z blue), thin and pale for the expected pose where it differs.</p>
<script>
(function () {
  var box = document.getElementById('failed-only');
  box.addEventListener('change', function () {
    document.querySelectorAll('tr.case.passed').forEach(function (row) { row.hidden = box.checked; });
  });
  window.addEventListener('load', function () {
    var missing = 0;
    document.querySelectorAll('img').forEach(function (img) {
      var loaded = img.complete && img.naturalWidth > 0;
      img.setAttribute('data-loaded', loaded ? 'yes' : 'no');
      if (!loaded) { missing += 1; }
    });
    document.body.setAttribute('data-pictures', missing ? 'missing' : 'loaded');
    var drawn = 0;
    document.querySelectorAll('svg.histogram').forEach(function (svg) {
      if (svg.getBoundingClientRect().width > 0 && svg.querySelectorAll('rect.bar').length > 0) { drawn += 1; }
    });
    document.body.setAttribute('data-histograms', drawn + ' drawn');
    if (missing) {
      document.getElementById('summary').textContent += ' ' + missing + ' pictures are missing.';
    }
  });
})();
</script>
</body>
</html>
)";

// A relative file name as a URL: every byte but unreserved ones and "/" as %XX.
std::string UrlPath(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string url;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 15];
        }
    }
    return url;
}

std::string Milliseconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f ms", value);
    return text;
}

std::string ValuesTable(const CaseResult& result)
{
    const zor::test::NumericCheck& check = result.check;
    std::string html = "<table class=\"values\"><tr><th></th><th>expected</th><th>actual</th>"
                       "<th>difference</th><th>allowed</th><th></th></tr>\n";
    for (const zor::test::ItemCheck& item : check.items) {
        if (item.values.empty()) {
            html += "<tr><td>item " + std::to_string(item.index) + "</td><td colspan=\"5\"" +
                    (item.passed ? ">passed" : " class=\"bad\">" + HtmlText(item.message)) + "</td></tr>\n";
        }
        for (size_t j = 0; j < item.values.size(); ++j) {
            const zor::test::ValueCheck& value = item.values[j];
            html += "<tr><td>" + HtmlText(ValueName(check, item, j)) + "</td><td>" + Number(value.expected) +
                    "</td><td>" + Number(value.actual) + "</td><td" + (value.passed ? "" : " class=\"bad\"") +
                    ">" + DifferenceText(value, check) + "</td><td>" +
                    HtmlText(Requirement(item.condition, check, value)) + "</td><td>" +
                    (value.passed ? "ok" : "<span class=\"bad\">failed</span>") + "</td></tr>\n";
        }
    }
    return html + "</table>";
}

// For a failed case, how far its furthest value is past its allowance, as
// the row's data-past: the order of the rows when shard reports are joined.
std::string PastAttribute(const CaseResult& result)
{
    if (result.verdict != Verdict::kFailed) {
        return "";
    }
    char text[64];
    std::snprintf(text, sizeof text, " data-past=\"%.6f\"", static_cast<double>(HowFarPast(result)));
    return text;
}

// The baseline model's pose, the new one and the change, per angle.
std::string ModelsTable(const CaseResult& result)
{
    const std::vector<AngleChange> changes = BaselineChanges(result);
    if (changes.empty()) {
        return "<p class=\"note\">baseline model: no pose to compare</p>";
    }
    std::string html = "<table class=\"values models\"><tr><th></th><th>baseline</th><th>new</th><th>change</th>"
                       "<th>allowed</th></tr>\n";
    for (size_t i = 0; i < changes.size(); ++i) {
        html += "<tr><td>" + std::string(kAngleNames[i]) + "</td><td>" + Number(result.baseline_pose[i]) +
                "</td><td>" + Number(result.pose[i]) + "</td><td" + (changes[i].past ? " class=\"bad\">" : ">") +
                SignedText(changes[i].change) + "</td><td>±" + Number(changes[i].allowed) + "</td></tr>\n";
    }
    return html + "</table>";
}

// The case in the previous run: its verdict and how far the pose moved since.
std::string PreviousLine(const CaseResult& result)
{
    std::string html = "<p class=\"previous\">previous run: " + HtmlText(result.previous.verdict);
    if (NewlyFailing(result)) {
        html += ", <span class=\"bad\">newly failing</span>";
    } else if (NewlyPassing(result)) {
        html += ", newly passing";
    }
    const std::vector<float> moved = ChangesSincePrevious(result);
    for (size_t i = 0; i < moved.size(); ++i) {
        html += std::string(i == 0 ? "; pose moved by " : ", ") + kAngleNames[i] + " " + SignedText(moved[i]);
    }
    return html + "</p>";
}

std::string CaseRow(const CaseResult& result, bool with_baseline)
{
    const std::string verdict = VerdictText(result.verdict);
    std::string html = "<tr class=\"case " + verdict + "\" data-case=\"" + HtmlText(result.files.name) +
                       "\" data-verdict=\"" + verdict + "\"" +
                       (result.changed ? " data-changed=\"yes\"" : "") + PastAttribute(result) + ">\n<td>";
    if (!result.picture_file.empty()) {
        const std::string url = UrlPath(result.picture_file);
        html += "<a href=\"" + url + "\"><img src=\"" + url + "\" alt=\"" + HtmlText(result.files.name) + "\"></a>";
    } else {
        html += "no picture";
    }
    html += "</td>\n<td><b>" + HtmlText(result.files.name) + "</b><br><span class=\"note\">" +
            HtmlText(result.files.image) + "</span>";
    if (!result.log_file.empty()) {
        html += "<br><a href=\"" + UrlPath(result.log_file) + "\">validation log</a>";
    }
    html += "</td>\n<td class=\"verdict\">" + verdict +
            (result.changed ? "<br><span class=\"changed-mark\">changed</span>" : "") + "</td>\n<td>";
    if (result.verdict == Verdict::kError) {
        html += HtmlText(result.reason);
    } else if (result.verdict != Verdict::kCompared) {
        html += ValuesTable(result);
    }
    if (with_baseline && result.verdict != Verdict::kError) {
        html += ModelsTable(result);
    }
    if (result.previous.present) {
        html += PreviousLine(result);
    }
    html += "</td>\n<td>" + Milliseconds(result.milliseconds) + "</td>\n</tr>\n";
    return html;
}

}  // namespace

std::string ReportHtml(const std::vector<CaseResult>& results, const Tally& tally, const std::string& title_note,
                       const std::string& overview, bool with_baseline)
{
    std::vector<std::string> rows;
    for (const CaseResult* result : WorstFirst(results)) {
        rows.push_back(CaseRow(*result, with_baseline));
    }
    return ReportPage(rows, tally, title_note, overview);
}

std::string ReportPage(const std::vector<std::string>& rows, const Tally& tally, const std::string& title_note,
                       const std::string& overview)
{
    std::string html = kHead;
    html += "<p id=\"summary\">" + std::to_string(tally.Total()) + " cases: " + std::to_string(tally.passed) +
            " passed, " + std::to_string(tally.failed) + " failed, " + std::to_string(tally.could_not_run) +
            " could not run" + (tally.compared > 0 ? ", " + std::to_string(tally.compared) + " compared" : "") +
            ".</p>\n";
    html += "<p class=\"note\">" + HtmlText(title_note) + "</p>\n";
    html += overview;
    html += "<p><label><input type=\"checkbox\" id=\"failed-only\"> only the cases that did not pass</label></p>\n";
    html += "<table class=\"cases\" id=\"cases\">\n<thead><tr><th>picture</th><th>case</th><th>verdict</th>"
            "<th>values</th><th>time</th></tr></thead>\n<tbody>\n";
    for (const std::string& row : rows) {
        html += row;
    }
    html += "</tbody>\n</table>\n";
    return html + kTail;
}

}  // namespace zor::test::suite
