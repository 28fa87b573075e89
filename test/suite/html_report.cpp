#include "html_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "clean_text.h"
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
    if (missing) {
      document.getElementById('summary').textContent += ' ' + missing + ' pictures are missing.';
    }
  });
})();
</script>
</body>
</html>
)";

// Text for an attribute or an element; bytes that are not UTF-8 become U+FFFD.
std::string Escape(const std::string& text)
{
    std::string escaped;
    for (const char c : ValidUtf8(text)) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

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
                    (item.passed ? ">passed" : " class=\"bad\">" + Escape(item.message)) + "</td></tr>\n";
        }
        for (size_t j = 0; j < item.values.size(); ++j) {
            const zor::test::ValueCheck& value = item.values[j];
            html += "<tr><td>" + Escape(ValueName(check, item, j)) + "</td><td>" + Number(value.expected) +
                    "</td><td>" + Number(value.actual) + "</td><td" + (value.passed ? "" : " class=\"bad\"") +
                    ">" + DifferenceText(value, check) + "</td><td>" +
                    Escape(Requirement(item.condition, check, value)) + "</td><td>" +
                    (value.passed ? "ok" : "<span class=\"bad\">failed</span>") + "</td></tr>\n";
        }
    }
    return html + "</table>";
}

std::string CaseRow(const CaseResult& result)
{
    const std::string verdict = VerdictText(result.verdict);
    std::string html = "<tr class=\"case " + verdict + "\" data-case=\"" + Escape(result.files.name) +
                       "\" data-verdict=\"" + verdict + "\">\n<td>";
    if (!result.picture_file.empty()) {
        const std::string url = UrlPath(result.picture_file);
        html += "<a href=\"" + url + "\"><img src=\"" + url + "\" alt=\"" + Escape(result.files.name) + "\"></a>";
    } else {
        html += "no picture";
    }
    html += "</td>\n<td><b>" + Escape(result.files.name) + "</b><br><span class=\"note\">" +
            Escape(result.files.image) + "</span>";
    if (!result.log_file.empty()) {
        html += "<br><a href=\"" + UrlPath(result.log_file) + "\">validation log</a>";
    }
    html += "</td>\n<td class=\"verdict\">" + verdict + "</td>\n<td>";
    html += result.verdict == Verdict::kError ? Escape(result.reason) : ValuesTable(result);
    html += "</td>\n<td>" + Milliseconds(result.milliseconds) + "</td>\n</tr>\n";
    return html;
}

}  // namespace

std::string ReportHtml(const std::vector<CaseResult>& results, const Tally& tally, const std::string& title_note)
{
    // Failures and cases that could not run first, each group in name order.
    std::vector<const CaseResult*> order;
    for (const CaseResult& result : results) {
        order.push_back(&result);
    }
    std::stable_sort(order.begin(), order.end(), [](const CaseResult* a, const CaseResult* b) {
        return (a->verdict == Verdict::kPassed) < (b->verdict == Verdict::kPassed);
    });
    std::vector<std::string> rows;
    for (const CaseResult* result : order) {
        rows.push_back(CaseRow(*result));
    }
    return ReportPage(rows, tally, title_note);
}

std::string ReportPage(const std::vector<std::string>& rows, const Tally& tally, const std::string& title_note)
{
    std::string html = kHead;
    html += "<p id=\"summary\">" + std::to_string(tally.Total()) + " cases: " + std::to_string(tally.passed) +
            " passed, " + std::to_string(tally.failed) + " failed, " + std::to_string(tally.could_not_run) +
            " could not run.</p>\n";
    html += "<p class=\"note\">" + Escape(title_note) + "</p>\n";
    html += "<p><label><input type=\"checkbox\" id=\"failed-only\"> only the cases that did not pass</label></p>\n";
    html += "<table class=\"cases\" id=\"cases\">\n<thead><tr><th>picture</th><th>case</th><th>verdict</th>"
            "<th>values</th><th>time</th></tr></thead>\n<tbody>\n";
    for (const std::string& row : rows) {
        html += row;
    }
    html += "</tbody>\n</table>\n";
    return html + kTail;
}

std::string HtmlText(const std::string& text)
{
    return Escape(text);
}

}  // namespace zor::test::suite
