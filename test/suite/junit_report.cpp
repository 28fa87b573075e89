#include "junit_report.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "clean_text.h"
#include "pose_change.h"
#include "value_text.h"

namespace zor::test::suite {
namespace {

// Text for an attribute or an element; control characters XML 1.0 does not
// allow become "?", bytes that are not UTF-8 U+FFFD.
std::string Escape(const std::string& text)
{
    std::string escaped;
    for (const char c : ValidUtf8(text)) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        default:
            escaped += (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') ? '?' : c;
            break;
        }
    }
    return escaped;
}

std::string Seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// The failure message: every value that failed, or the item's own message.
// The body: every value of every item, then the log.
void FailureTexts(const CaseResult& result, std::string& message, std::string& body)
{
    const zor::test::NumericCheck& check = result.check;
    for (const zor::test::ItemCheck& item : check.items) {
        if (item.values.empty()) {
            const std::string line = "item " + std::to_string(item.index) + ": " +
                                     (item.passed ? std::string("passed") : item.message);
            body += line + "\n";
            if (!item.passed) {
                message += (message.empty() ? "" : "; ") + line;
            }
        }
        for (size_t j = 0; j < item.values.size(); ++j) {
            const std::string line = ValueName(check, item, j) + ": " +
                                     ValueDescription(item.values[j], item.condition, check);
            body += line + (item.values[j].passed ? "\n" : " (failed)\n");
            if (!item.values[j].passed) {
                message += (message.empty() ? "" : "; ") + line;
            }
        }
    }
    body += "log: " + result.log_file + "\n";
}

std::string Property(const char* name, const std::string& value)
{
    return std::string("    <property name=\"") + name + "\" value=\"" + Escape(value) + "\"/>\n";
}

// The text of a file; empty when it cannot be read.
std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return file ? text.str() : std::string();
}

}  // namespace

std::string JunitXml(const std::vector<CaseResult>& results, const Tally& tally, double seconds,
                     const RunIdentity& identity, const std::string& report_dir, bool fail_on_change)
{
    const std::string suite = Escape(identity.suite_name);
    const auto change_fails = [fail_on_change](const CaseResult& result) {
        return fail_on_change && result.changed &&
               (result.verdict == Verdict::kPassed || result.verdict == Verdict::kCompared);
    };
    const size_t failures =
        tally.failed + static_cast<size_t>(std::count_if(results.begin(), results.end(), change_fails));
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<testsuite name=\"" + suite + "\" timestamp=\"" + Escape(identity.timestamp) + "\" hostname=\"" +
           Escape(identity.hostname) + "\" tests=\"" + std::to_string(tally.Total()) + "\" failures=\"" +
           std::to_string(failures) + "\" errors=\"" + std::to_string(tally.could_not_run) +
           "\" skipped=\"0\" time=\"" + Seconds(seconds) + "\">\n";
    xml += "  <properties>\n" + Property("model", identity.model_path) +
           Property("model_sha256", identity.model_sha256) + Property("shard", identity.shard) +
           Property("version", identity.version) + "  </properties>\n";
    for (const CaseResult& result : results) {
        xml += "  <testcase classname=\"" + suite + "\" name=\"" + Escape(result.files.name) + "\" time=\"" +
               Seconds(result.milliseconds / 1000.0) + "\"";
        if (change_fails(result)) {
            xml += ">\n    <failure message=\"changed from the baseline: " + Escape(WorstChangeText(result)) +
                   "\" type=\"changed\"/>\n  </testcase>\n";
            continue;
        }
        if (result.verdict == Verdict::kPassed || result.verdict == Verdict::kCompared) {
            xml += "/>\n";
            continue;
        }
        xml += ">\n";
        if (result.verdict == Verdict::kFailed) {
            std::string message;
            std::string body;
            FailureTexts(result, message, body);
            xml += "    <failure message=\"" + Escape(message) + "\" type=\"pose check failed\">" + Escape(body) +
                   "</failure>\n";
            if (!result.log_file.empty()) {
                xml += "    <system-out>" + Escape(FileText(report_dir + "/" + result.log_file)) + "</system-out>\n";
            }
        } else {
            xml += "    <error message=\"" + Escape(result.reason) + "\" type=\"case could not run\">" +
                   Escape(result.files.image) + "\n" + Escape(result.files.expectation) + "\n</error>\n";
        }
        xml += "  </testcase>\n";
    }
    xml += "</testsuite>\n";
    return xml;
}

}  // namespace zor::test::suite
