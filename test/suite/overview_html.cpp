#include "overview_html.h"

#include <cstdio>

#include "clean_text.h"
#include "histogram_svg.h"
#include "pose_change.h"
#include "previous_run.h"

namespace zor::test::suite {
namespace {

std::string Precise(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string AngleRow(const char* name, const AngleOverview& angle, const std::string& svg)
{
    std::string html = "<tr class=\"angle\" data-angle=\"" + std::string(name) + "\" data-count=\"" +
                       std::to_string(angle.changes.size()) + "\" data-past=\"" + std::to_string(angle.past) + "\"";
    if (angle.changes.empty()) {
        return html + "><th>" + name + "</th><td colspan=\"5\">no case compared</td><td>" + svg + "</td></tr>\n";
    }
    html += " data-mean=\"" + Precise(angle.mean) + "\" data-median=\"" + Precise(angle.median) +
            "\" data-largest=\"" + Precise(angle.largest) + "\" data-largest-case=\"" +
            HtmlText(angle.largest_case) + "\">";
    html += "<th>" + std::string(name) + "</th><td>" + SignedText(static_cast<float>(angle.mean)) + "</td><td>" +
            SignedText(static_cast<float>(angle.median)) + "</td><td>" + SignedText(angle.largest) + " <span class=\"note\">" +
            HtmlText(angle.largest_case) + "</span></td><td" + (angle.past > 0 ? " class=\"bad\">" : ">") +
            std::to_string(angle.past) + " of " + std::to_string(angle.changes.size()) + "</td><td>" + svg +
            "</td></tr>\n";
    return html;
}

// Newly failing and newly passing cases, and how the poses moved since the previous run.
std::string PreviousHtml(const std::vector<CaseResult>& results, const std::vector<std::string>& only_in_previous)
{
    std::string failing;
    std::string passing;
    std::string only_now;
    std::string only_before;
    for (const std::string& name : only_in_previous) {
        only_before += (only_before.empty() ? "" : ", ") + HtmlText(name);
    }
    AngleOverview moved[3];
    for (const CaseResult& result : results) {
        if (NewlyFailing(result)) {
            failing += (failing.empty() ? "" : ", ") + HtmlText(result.files.name);
        }
        if (NewlyPassing(result)) {
            passing += (passing.empty() ? "" : ", ") + HtmlText(result.files.name);
        }
        if (!result.previous.present) {
            only_now += (only_now.empty() ? "" : ", ") + HtmlText(result.files.name);
        }
        const std::vector<float> changes = ChangesSincePrevious(result);
        for (size_t i = 0; i < changes.size(); ++i) {
            if (moved[i].changes.empty() || std::abs(changes[i]) > std::abs(moved[i].largest)) {
                moved[i].largest = changes[i];
                moved[i].largest_case = result.files.name;
            }
            moved[i].changes.push_back(changes[i]);
        }
    }
    std::string html = "<div id=\"since-previous\"><h3>Since the previous run</h3>\n<p>newly failing: <span "
                       "id=\"newly-failing\">" +
                       (failing.empty() ? "none" : failing) + "</span></p>\n<p>newly passing: <span id=\"newly-passing\">" +
                       (passing.empty() ? "none" : passing) +
                       "</span></p>\n<p>only in that run: <span id=\"only-in-that-run\">" +
                       (only_before.empty() ? "none" : only_before) +
                       "</span></p>\n<p>only in this run: <span id=\"only-in-this-run\">" +
                       (only_now.empty() ? "none" : only_now) + "</span></p>\n<p>pose moved by at most:";
    for (size_t i = 0; i < 3; ++i) {
        html += std::string(i == 0 ? " " : ", ") + kAngleNames[i] + " " +
                (moved[i].changes.empty() ? "-" : SignedText(moved[i].largest) + " (" + HtmlText(moved[i].largest_case) + ")");
    }
    return html + "</p></div>\n";
}

// A word as a POSIX shell reads it back: as it is when it holds only safe
// characters, else in single quotes.
std::string ShellWord(const std::string& word)
{
    const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                               "0123456789-_./:=+@%,") == std::string::npos;
    if (plain) {
        return word;
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

std::string AcceptCommand(const SuiteOptions& options)
{
    return "record_facepose -m " + ShellWord(options.model_dir) + " -c " + ShellWord(options.cases_dir) + " --update" +
           (options.filter.empty() ? "" : " --filter " + ShellWord(options.filter));
}

std::string OverviewHtml(const Overview& overview, const std::vector<CaseResult>& results,
                         const std::string& accept_command, bool with_previous,
                         const std::vector<std::string>& only_in_previous)
{
    const std::vector<std::string> svgs = HistogramSvgs(overview);
    std::string html = "<section id=\"overview\" data-against=\"" +
                       std::string(overview.against_baseline ? "baseline" : "expectation") + "\">\n<h2>" +
                       (overview.against_baseline ? "Change from the baseline model (new − baseline, degrees)"
                                                  : "Change from the expectations (actual − expected, degrees)") +
                       "</h2>\n<table class=\"overview\"><tr><th></th><th>mean</th><th>median</th><th>largest</th>"
                       "<th>past allowance</th><th>histogram (band: the allowance)</th></tr>\n";
    for (size_t i = 0; i < 3; ++i) {
        html += AngleRow(kAngleNames[i], overview.angles[i], svgs[i]);
    }
    html += "</table>\n";
    if (with_previous) {
        html += PreviousHtml(results, only_in_previous);
    }
    if (!accept_command.empty()) {
        html += "<p>To accept the failed cases' new poses: <code id=\"accept\">" + HtmlText(accept_command) +
                "</code></p>\n";
    }
    return html + "</section>\n";
}

}  // namespace zor::test::suite
