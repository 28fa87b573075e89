#include "results_json.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "pose_change.h"
#include "shared/pose_run.h"
#include "value_text.h"

namespace zor::test::suite {
namespace {

// Written in the order of the schema's description; read in any order.
using json = nlohmann::ordered_json;

// A number, or null for one JSON cannot hold (NaN, infinite).
json Value(float value)
{
    return std::isfinite(value) ? json(value) : json(nullptr);
}

json Values(const std::vector<float>& values)
{
    if (values.empty()) {
        return nullptr;
    }
    json list = json::array();
    for (const float value : values) {
        list.push_back(Value(value));
    }
    return list;
}

json OrNull(const std::string& text)
{
    return text.empty() ? json(nullptr) : json(text);
}

json CheckedValues(const CaseResult& result)
{
    json values = json::array();
    const zor::test::NumericCheck& check = result.check;
    for (const zor::test::ItemCheck& item : check.items) {
        for (size_t j = 0; j < item.values.size(); ++j) {
            const zor::test::ValueCheck& value = item.values[j];
            values.push_back({{"name", ValueName(check, item, j)},
                              {"item", item.index},
                              {"condition", zor::test::ConditionText(item.condition)},
                              {"expected", Value(value.expected)},
                              {"actual", Value(value.actual)},
                              {"difference", Value(value.actual - value.expected)},
                              {"allowed", Value(value.allowed)},
                              {"passed", value.passed}});
        }
    }
    return values;
}

json Baseline(const CaseResult& result)
{
    const std::vector<AngleChange> changes = BaselineChanges(result);
    json change = nullptr;
    json allowed = nullptr;
    if (!changes.empty()) {
        change = json::array();
        allowed = json::array();
        for (const AngleChange& one : changes) {
            change.push_back(Value(one.change));
            allowed.push_back(Value(one.allowed));
        }
    }
    return {{"pose", Values(result.baseline_pose)}, {"change", change}, {"allowed", allowed},
            {"changed", result.changed}};
}

json Case(const CaseResult& result, bool with_baseline)
{
    json one = {{"name", result.files.name},
                {"verdict", VerdictText(result.verdict)},
                {"reason", OrNull(result.reason)},
                {"image", result.files.image},
                {"expectation", OrNull(result.files.expectation)},
                {"pose", Values(result.pose)},
                {"values", CheckedValues(result)},
                {"baseline", with_baseline ? Baseline(result) : json(nullptr)},
                {"previous", result.previous.present
                                 ? json{{"verdict", result.previous.verdict}, {"pose", Values(result.previous.pose)}}
                                 : json(nullptr)},
                {"milliseconds", result.milliseconds},
                {"stages_ms",
                 {{"image", result.stages.read},
                  {"network", result.stages.network},
                  {"check", result.stages.check},
                  {"picture", result.stages.picture}}},
                {"log", OrNull(result.log_file)},
                {"picture", OrNull(result.picture_file)}};
    return one;
}

bool IsPose(const nlohmann::json& pose)
{
    if (pose.is_null()) {
        return true;
    }
    if (!pose.is_array() || pose.size() != 3) {
        return false;
    }
    for (const nlohmann::json& value : pose) {
        if (!value.is_number() && !value.is_null()) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string ResultsJson(const SuiteOptions& options, const RunIdentity& identity, const std::string& baseline_sha256,
                        const std::vector<CaseResult>& results, const Tally& tally)
{
    const bool with_baseline = !options.baseline_dir.empty();
    json document = {
        {"schema", kResultsSchema},
        {"version", kResultsVersion},
        {"run",
         {{"started", identity.timestamp},
          {"host", identity.hostname},
          {"program", "facepose_suite"},
          {"program_version", identity.version},
          {"model", {{"path", identity.model_path}, {"sha256", identity.model_sha256}}},
          {"baseline_model",
           with_baseline ? json{{"path", zor::test::shared::ModelFilePath(options.baseline_dir)},
                                {"sha256", baseline_sha256}}
                         : json(nullptr)},
          {"options",
           {{"cases", options.cases_dir},
            {"output", options.report_dir},
            {"jobs", options.jobs},
            {"shard", identity.shard},
            {"filter", options.filter},
            {"fail_on_change", options.fail_on_change},
            {"previous", OrNull(options.previous_dir)}}}}},
        {"overview_against", with_baseline ? "baseline" : "expectation"},
        {"summary",
         {{"cases", tally.Total()},
          {"passed", tally.passed},
          {"failed", tally.failed},
          {"could_not_run", tally.could_not_run},
          {"compared", tally.compared}}},
        {"cases", json::array()}};
    for (const CaseResult& result : results) {
        document["cases"].push_back(Case(result, with_baseline));
    }
    return document.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
}

std::optional<nlohmann::json> ReadResultsJson(const std::string& path, std::string& why)
{
    using json = nlohmann::json;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "not a regular file";
    } else if (static_cast<size_t>(info.st_size) > kMaxResultsBytes) {
        why = "larger than " + std::to_string(kMaxResultsBytes >> 20) + " MiB";
    } else {
        text.resize(static_cast<size_t>(info.st_size));
        size_t got = 0;
        ssize_t n = 0;
        while (got < text.size() && (n = ::read(fd, &text[got], text.size() - got)) > 0) {
            got += static_cast<size_t>(n);
        }
        if (n < 0) {
            why = std::strerror(errno);
        }
        text.resize(got);
    }
    ::close(fd);
    if (!why.empty()) {
        return std::nullopt;
    }
    json document;
    try {
        document = json::parse(text);
    } catch (const json::parse_error& e) {
        why = e.byte >= text.size() ? "it ends early (truncated)" : "not JSON: " + std::string(e.what());
        return std::nullopt;
    }
    if (!document.is_object() || document.value("schema", json()) != kResultsSchema) {
        why = "not a facepose_suite results file";
        return std::nullopt;
    }
    if (document.value("version", json()) != kResultsVersion) {
        why = "schema version " + document.value("version", json()).dump() + ", this program reads version " +
              std::to_string(kResultsVersion);
        return std::nullopt;
    }
    const json& cases = document.value("cases", json());
    bool usable = cases.is_array();
    for (const json& one : usable ? cases : json::array()) {
        usable = usable && one.is_object() && one.value("name", json()).is_string() &&
                 one.value("verdict", json()).is_string() && IsPose(one.value("pose", json()));
    }
    if (!usable) {
        why = "its cases lack a name, a verdict or a pose";
        return std::nullopt;
    }
    return document;
}

}  // namespace zor::test::suite
