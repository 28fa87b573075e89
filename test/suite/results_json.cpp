#include "results_json.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "pose_change.h"
#include "shared/pose_run.h"
#include "value_text.h"

namespace zor::test::suite {
namespace {

// Written in the order of the schema's description; read in any order.
using json = nlohmann::ordered_json;

// A number; "inf" or "-inf" for an infinite one, null for NaN (JSON holds neither).
json Value(float value)
{
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    return std::isnan(value) ? json(nullptr) : json(value);
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
        if (!value.is_number() && !value.is_null() && value != "inf" && value != "-inf") {
            return false;
        }
    }
    return true;
}

json PreviousRun(const SuiteOptions& options, const std::vector<CaseResult>& results,
                 const std::vector<std::string>& only_in_previous)
{
    if (options.previous_dir.empty()) {
        return nullptr;
    }
    json only_now = json::array();
    for (const CaseResult& result : results) {
        if (!result.previous.present) {
            only_now.push_back(result.files.name);
        }
    }
    return {{"report", options.previous_dir}, {"only_in_that_run", only_in_previous}, {"only_in_this_run", only_now}};
}

std::string Document(const json& run, bool with_baseline, const json& previous_run,
                     const std::vector<CaseResult>& results, const Tally& tally)
{
    json document = {{"schema", kResultsSchema},
                     {"version", kResultsVersion},
                     {"run", run},
                     {"overview_against", with_baseline ? "baseline" : "expectation"},
                     {"previous_run", previous_run},
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

// A number as Value wrote it.
float FloatOf(const nlohmann::json& value)
{
    if (value == "inf" || value == "-inf") {
        return value == "inf" ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    }
    return value.is_number() ? value.get<float>() : std::numeric_limits<float>::quiet_NaN();
}

std::vector<float> FloatsOf(const nlohmann::json& values)
{
    std::vector<float> floats;
    for (const nlohmann::json& value : values.is_array() ? values : nlohmann::json::array()) {
        floats.push_back(FloatOf(value));
    }
    return floats;
}

std::string TextOf(const nlohmann::json& value)
{
    return value.is_string() ? value.get<std::string>() : "";
}

}  // namespace

std::string ResultsJson(const SuiteOptions& options, const RunIdentity& identity, const std::string& baseline_sha256,
                        const std::vector<CaseResult>& results, const Tally& tally,
                        const std::vector<std::string>& only_in_previous)
{
    const bool with_baseline = !options.baseline_dir.empty();
    const json run = {{"started", identity.timestamp},
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
            {"previous", OrNull(options.previous_dir)}}}};
    return Document(run, with_baseline, PreviousRun(options, results, only_in_previous), results, tally);
}

std::string ResultsJson(const nlohmann::json& run, bool with_baseline, const nlohmann::json& previous_run,
                        const std::vector<CaseResult>& results, const Tally& tally)
{
    return Document(run, with_baseline, previous_run, results, tally);
}

CaseResult CaseFromResultsJson(const nlohmann::json& one)
{
    CaseResult result;
    result.files.name = TextOf(one.value("name", nlohmann::json()));
    const std::string verdict = TextOf(one.value("verdict", nlohmann::json()));
    for (const Verdict known : {Verdict::kFailed, Verdict::kError, Verdict::kPassed, Verdict::kCompared}) {
        if (verdict == VerdictText(known)) {
            result.verdict = known;
        }
    }
    result.reason = TextOf(one.value("reason", nlohmann::json()));
    result.files.image = TextOf(one.value("image", nlohmann::json()));
    result.files.expectation = TextOf(one.value("expectation", nlohmann::json()));
    result.pose = FloatsOf(one.value("pose", nlohmann::json()));
    for (const nlohmann::json& value : one.value("values", nlohmann::json::array())) {
        const uint64_t index = value.value("item", uint64_t{0});
        if (result.check.items.empty() || result.check.items.back().index != index) {
            zor::test::ItemCheck item;
            item.index = index;
            const std::string condition = TextOf(value.value("condition", nlohmann::json()));
            item.condition = condition == ">" ? 1 : condition == "<" ? -1 : 0;
            item.passed = true;
            result.check.items.push_back(item);
        }
        zor::test::ValueCheck check;
        check.expected = FloatOf(value.value("expected", nlohmann::json()));
        check.actual = FloatOf(value.value("actual", nlohmann::json()));
        check.difference = check.actual - check.expected;
        check.allowed = FloatOf(value.value("allowed", nlohmann::json()));
        check.passed = value.value("passed", false);
        result.check.items.back().passed = result.check.items.back().passed && check.passed;
        result.check.items.back().values.push_back(check);
    }
    if (result.check.items.size() == 1 && result.check.items[0].values.size() == 3) {
        for (const zor::test::ValueCheck& value : result.check.items[0].values) {
            result.expected_pose.push_back(value.expected);
        }
    }
    const nlohmann::json& baseline = one.value("baseline", nlohmann::json());
    if (baseline.is_object()) {
        result.baseline_pose = FloatsOf(baseline.value("pose", nlohmann::json()));
        result.changed = baseline.value("changed", false);
    }
    const nlohmann::json& previous = one.value("previous", nlohmann::json());
    if (previous.is_object()) {
        result.previous.present = true;
        result.previous.verdict = TextOf(previous.value("verdict", nlohmann::json()));
        result.previous.pose = FloatsOf(previous.value("pose", nlohmann::json()));
    }
    result.milliseconds = one.value("milliseconds", 0.0);
    const nlohmann::json& stages = one.value("stages_ms", nlohmann::json::object());
    result.stages = {stages.value("image", 0.0), stages.value("network", 0.0), stages.value("check", 0.0),
                     stages.value("picture", 0.0)};
    result.log_file = TextOf(one.value("log", nlohmann::json()));
    result.picture_file = TextOf(one.value("picture", nlohmann::json()));
    return result;
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
