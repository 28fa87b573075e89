#include "suite_cases.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "clean_text.h"

namespace zor::test::suite {
namespace {

using zor::test::shared::CaseFiles;
using zor::test::shared::SkippedEntry;

constexpr char kWrongFiles[] = "needs one image and one .nkvalid file";

// The entry's name relative to the cases folder and the case folder it is in
// (its first component).
std::string CaseNameOf(const SkippedEntry& entry, const std::string& cases_dir, std::string& relative)
{
    relative = std::filesystem::path(entry.path).lexically_relative(cases_dir).string();
    return relative.substr(0, relative.find('/'));
}

}  // namespace

bool FindSuiteCases(const SuiteOptions& options, SuiteCases& cases)
{
    std::vector<CaseFiles> all;
    std::vector<SkippedEntry> skipped;
    std::error_code error;
    if (!zor::test::shared::FindCases(options.cases_dir, all, skipped, error)) {
        std::fprintf(stderr, "facepose_suite: cannot read the cases folder %s\n",
                     PrintableText(options.cases_dir).c_str());
        return false;
    }
    // A report folder inside the cases folder is none of the cases.
    std::error_code ignored;
    const std::filesystem::path report = std::filesystem::weakly_canonical(options.report_dir, ignored);
    const auto is_report = [&](const std::string& name) {
        return std::filesystem::weakly_canonical(std::filesystem::path(options.cases_dir) / name, ignored) == report;
    };
    all.erase(std::remove_if(all.begin(), all.end(), [&](const CaseFiles& one) { return is_report(one.name); }),
              all.end());
    std::map<std::string, std::string> problems;
    for (const CaseFiles& one : all) {
        if (one.expectation.empty() && options.baseline_dir.empty()) {
            problems[one.name] = "not recorded: record_facepose -m " + options.model_dir + " -c " + options.cases_dir;
        }
    }
    for (const SkippedEntry& entry : skipped) {
        std::string relative;
        const std::string name = CaseNameOf(entry, options.cases_dir, relative);
        const bool is_case = std::any_of(all.begin(), all.end(), [&](const CaseFiles& one) { return one.name == name; });
        if (is_report(name)) {
            continue;
        }
        if (entry.why == SkippedEntry::Why::kNotAFolder) {
            std::fprintf(stderr, "facepose_suite: skipped %s: not a folder\n", PrintableText(relative).c_str());
            continue;
        }
        const std::string why = entry.why == SkippedEntry::Why::kWrongFiles
                                    ? std::string(kWrongFiles)
                                    : "cannot be read (" + relative + ": " + entry.detail + ")";
        if (is_case) {  // a file in a case folder that still holds its case
            std::fprintf(stderr, "facepose_suite: skipped %s: %s\n", PrintableText(relative).c_str(),
                         PrintableText(why).c_str());
        } else if (problems.emplace(name, why).second) {
            all.push_back({name, "", ""});
        }
    }
    std::sort(all.begin(), all.end(), [](const CaseFiles& a, const CaseFiles& b) { return a.name < b.name; });
    cases.found = all.size();
    cases.matching = static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const CaseFiles& one) {
        return one.name.find(options.filter) != std::string::npos;
    }));
    cases.selected = zor::test::shared::SelectCases(all, options.filter, options.shard_index, options.shard_count);
    cases.problems.clear();
    for (const CaseFiles& one : cases.selected) {
        const auto problem = problems.find(one.name);
        cases.problems.push_back(problem != problems.end() ? problem->second : std::string());
    }
    return true;
}

std::string EmptyRunProblem(const SuiteOptions& options, const SuiteCases& cases)
{
    if (!cases.selected.empty() || options.allow_empty || cases.matching > 0) {
        return "";
    }
    if (cases.found == 0) {
        return "the cases folder " + options.cases_dir + " holds none";
    }
    return "no case name contains \"" + options.filter + "\"";
}

}  // namespace zor::test::suite
