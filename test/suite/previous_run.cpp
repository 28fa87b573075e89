#include "previous_run.h"

#include <limits>
#include <map>

#include "report_folder.h"
#include "results_json.h"

namespace zor::test::suite {
namespace {

// Up to a few names, then how many more.
std::string NameList(const std::vector<std::string>& names)
{
    constexpr size_t kShown = 5;
    std::string list;
    for (size_t i = 0; i < names.size() && i < kShown; ++i) {
        list += (i == 0 ? "" : ", ") + names[i];
    }
    return names.size() > kShown ? list + " and " + std::to_string(names.size() - kShown) + " more" : list;
}

}  // namespace

bool ReadPreviousRun(const std::string& report_dir, const std::vector<CaseFiles>& cases,
                     std::vector<PreviousCase>& previous, std::vector<std::string>& only_before, std::string& why)
{
    const std::string path = report_dir + "/" + kResultsName;
    const std::optional<nlohmann::json> document = ReadResultsJson(path, why);
    if (!document) {
        why = "cannot use " + path + ": " + why;
        return false;
    }
    std::map<std::string, PreviousCase> by_name;
    for (const nlohmann::json& one : (*document)["cases"]) {
        PreviousCase record;
        record.present = true;
        record.verdict = one["verdict"].get<std::string>();
        if (one["pose"].is_array()) {
            for (const nlohmann::json& value : one["pose"]) {
                record.pose.push_back(value.is_number() ? value.get<float>() : std::numeric_limits<float>::quiet_NaN());
            }
        }
        by_name[one["name"].get<std::string>()] = record;
    }
    previous.clear();
    for (const CaseFiles& files : cases) {
        const auto found = by_name.find(files.name);
        if (found == by_name.end()) {
            previous.emplace_back();
        } else {
            previous.push_back(found->second);
            by_name.erase(found);
        }
    }
    only_before.clear();
    for (const auto& [name, record] : by_name) {
        only_before.push_back(name);
    }
    return true;
}

std::string CaseSetNote(const std::string& report_dir, const std::vector<PreviousCase>& previous,
                        const std::vector<CaseFiles>& cases, const std::vector<std::string>& only_before)
{
    std::vector<std::string> only_now;
    for (size_t i = 0; i < cases.size() && i < previous.size(); ++i) {
        if (!previous[i].present) {
            only_now.push_back(cases[i].name);
        }
    }
    if (only_now.empty() && only_before.empty()) {
        return "";
    }
    std::string note = report_dir + "/" + kResultsName + " holds other cases; compared are those both runs hold:" +
                       (only_before.empty() ? "" : " only in that run: " + NameList(only_before) + ";") +
                       (only_now.empty() ? "" : " only in this run: " + NameList(only_now) + ";");
    note.pop_back();
    return note;
}

bool NewlyFailing(const CaseResult& result)
{
    return result.previous.present && result.previous.verdict == "passed" && result.verdict != Verdict::kPassed;
}

bool NewlyPassing(const CaseResult& result)
{
    return result.previous.present && result.previous.verdict != "passed" && result.verdict == Verdict::kPassed;
}

std::vector<float> ChangesSincePrevious(const CaseResult& result)
{
    if (result.pose.size() != 3 || result.previous.pose.size() != 3) {
        return {};
    }
    return {result.pose[0] - result.previous.pose[0], result.pose[1] - result.previous.pose[1],
            result.pose[2] - result.previous.pose[2]};
}

}  // namespace zor::test::suite
