#include "shard_merge.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "case_result.h"
#include "clean_text.h"
#include "html_report.h"
#include "overview.h"
#include "overview_html.h"
#include "report_folder.h"
#include "results_json.h"
#include "safe_file/file_writing.h"

namespace zor::test::suite {
namespace {

namespace fs = std::filesystem;

struct XmlDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDoc = std::unique_ptr<xmlDoc, XmlDocFree>;

struct XmlTextFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

// One case as its shard's junit.xml and report.html give it.
struct ShardCase {
    std::string name;
    Verdict verdict = Verdict::kPassed;
    bool changed = false;         // failed as changed from the baseline model (--fail-on-change)
    xmlNode* testcase = nullptr;  // in the shard's junit document
    std::string row;              // its report.html row
};

struct ShardReport {
    std::string folder;  // as given
    XmlDoc junit;
    std::string suite_name, timestamp, hostname, model_path, model_sha256, version;
    unsigned index = 0;
    unsigned count = 0;
    double seconds = 0;
    std::vector<ShardCase> cases;
    nlohmann::json results;  // its results.json
};

std::string Attribute(xmlNode* node, const char* name)
{
    const std::unique_ptr<xmlChar, XmlTextFree> value(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
    return value ? reinterpret_cast<const char*>(value.get()) : "";
}

bool Named(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

// The bytes of a regular file that is no link; false when there is none.
bool ReadPlainFile(const std::string& path, std::string& bytes)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    bytes = text.str();
    return static_cast<bool>(file);
}

// "I/N" with I < N.
bool ReadShardText(const std::string& text, unsigned& index, unsigned& count)
{
    unsigned long i = 0, n = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%lu/%lu%c", &i, &n, &end) != 2 || n == 0 || i >= n || n > 1u << 20) {
        return false;
    }
    index = static_cast<unsigned>(i);
    count = static_cast<unsigned>(n);
    return true;
}

// A case name that is one entry of the report folder and none of its own files.
bool UsableCaseName(const std::string& name)
{
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
           name != "junit.xml" && name != "report.html" && name.find('\0') == std::string::npos;
}

// A case's name as the row key: junit.xml's attributes lose control
// characters (as "?" or, read back, as blanks) that report.html keeps, so
// every byte up to the blank stands as "?" on both sides.
std::string RowKey(std::string text)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c) <= 0x20) {
            c = '?';
        }
    }
    return text;
}

// The case rows of a report.html page, by their data-case text (see RowKey).
bool ReadRows(const std::string& html, std::map<std::string, std::string>& rows)
{
    static const std::string kRow = "<tr class=\"case ";
    static const std::string kName = "data-case=\"";
    const size_t end = html.rfind("</tbody>");
    if (end == std::string::npos || html.find("</html>", end) == std::string::npos) {
        return false;
    }
    for (size_t at = html.find(kRow); at != std::string::npos && at < end;) {
        const size_t next = std::min(html.find(kRow, at + 1), end);
        const size_t name = html.find(kName, at);
        if (name == std::string::npos || name > next) {
            return false;
        }
        const size_t name_end = html.find('"', name + kName.size());
        rows[RowKey(html.substr(name + kName.size(), name_end - name - kName.size()))] = html.substr(at, next - at);
        at = next < end ? next : std::string::npos;
    }
    return true;
}

// Reads one shard's report folder; false with the reason in `why`.
bool ReadShard(const std::string& folder, ShardReport& shard, std::string& why)
{
    shard.folder = folder;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        why = folder + ": no such report folder";
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        why = folder + ": a link, not a report folder";
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        why = folder + ": not a report folder";
        return false;
    }
    std::string junit;
    if (!ReadPlainFile(folder + "/junit.xml", junit)) {
        why = folder + ": no junit.xml (or not a plain file)";
        return false;
    }
    shard.junit.reset(xmlReadMemory(junit.data(), static_cast<int>(junit.size()), "junit.xml", "UTF-8",
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    xmlNode* suite = shard.junit ? xmlDocGetRootElement(shard.junit.get()) : nullptr;
    if (suite == nullptr || !Named(suite, "testsuite")) {
        why = folder + "/junit.xml: not a whole junit report (truncated?)";
        return false;
    }
    shard.suite_name = Attribute(suite, "name");
    shard.timestamp = Attribute(suite, "timestamp");
    shard.hostname = Attribute(suite, "hostname");
    shard.seconds = std::strtod(Attribute(suite, "time").c_str(), nullptr);
    std::string shard_text;
    for (xmlNode* node = suite->children; node != nullptr; node = node->next) {
        if (Named(node, "properties")) {
            for (xmlNode* property = node->children; property != nullptr; property = property->next) {
                if (!Named(property, "property")) {
                    continue;
                }
                const std::string name = Attribute(property, "name");
                const std::string value = Attribute(property, "value");
                if (name == "model") shard.model_path = value;
                if (name == "model_sha256") shard.model_sha256 = value;
                if (name == "shard") shard_text = value;
                if (name == "version") shard.version = value;
            }
        } else if (Named(node, "testcase")) {
            ShardCase one;
            one.name = Attribute(node, "name");
            one.testcase = node;
            for (xmlNode* child = node->children; child != nullptr; child = child->next) {
                if (Named(child, "failure") && Attribute(child, "type") == "changed") {
                    one.changed = true;
                } else if (Named(child, "failure")) {
                    one.verdict = Verdict::kFailed;
                }
                if (Named(child, "error")) one.verdict = Verdict::kError;
            }
            if (!UsableCaseName(one.name)) {
                why = folder + "/junit.xml: a case named \"" + one.name + "\"";
                return false;
            }
            shard.cases.push_back(std::move(one));
        }
    }
    if (!ReadShardText(shard_text, shard.index, shard.count)) {
        why = folder + "/junit.xml: no shard property I/N: not a facepose_suite shard report";
        return false;
    }
    const std::string results_path = folder + "/" + kResultsName;
    std::optional<nlohmann::json> results = ReadResultsJson(results_path, why);
    if (!results) {
        why = results_path + ": " + why;
        return false;
    }
    if ((*results)["cases"].size() != shard.cases.size()) {
        why = results_path + ": other cases than its junit.xml";
        return false;
    }
    shard.results = std::move(*results);
    std::string html;
    std::map<std::string, std::string> rows;
    if (!ReadPlainFile(folder + "/report.html", html) || !ReadRows(html, rows)) {
        why = folder + ": no whole report.html";
        return false;
    }
    for (ShardCase& one : shard.cases) {
        const auto row = rows.find(RowKey(HtmlText(one.name)));
        if (row == rows.end()) {
            why = folder + "/report.html: no row for the case " + one.name;
            return false;
        }
        one.row = row->second;
    }
    return true;
}

// The data-past of a failed case's row (how far past its allowance), 0 without one.
double RowPast(const std::string& row)
{
    const std::string key = " data-past=\"";
    const size_t at = row.find(key);
    return at == std::string::npos ? 0.0 : std::strtod(row.c_str() + at + key.size(), nullptr);
}

std::string Canonical(const std::string& path)
{
    std::error_code error;
    return fs::weakly_canonical(fs::absolute(path, error), error).string();
}

// True when `inner` is `outer` or lies inside it.
bool Within(const std::string& inner, const std::string& outer)
{
    const fs::path relative = fs::path(inner).lexically_relative(outer);
    return !relative.empty() && *relative.begin() != "..";
}

// Reasons the shards cannot be joined, each on its own; the missing shards
// in `missing`.
std::vector<std::string> CheckShards(const SuiteOptions& options, const std::vector<ShardReport>& shards,
                                     std::vector<std::string>& missing)
{
    std::vector<std::string> problems;
    const std::string out = Canonical(options.merge_into);
    std::map<std::string, std::string> folders;  // canonical path -> as given
    for (const ShardReport& shard : shards) {
        const std::string path = Canonical(shard.folder);
        if (Within(path, out) || Within(out, path)) {
            problems.push_back("the merged report " + options.merge_into + " and the shard report " + shard.folder +
                               " overlap");
        }
        if (!folders.emplace(path, shard.folder).second) {
            problems.push_back(shard.folder + ": given twice");
        }
    }
    const ShardReport& first = shards.front();
    std::map<unsigned, std::string> indexes;
    std::map<std::string, std::string> owners;  // case -> shard folder
    for (const ShardReport& shard : shards) {
        if (shard.count != first.count) {
            problems.push_back(shard.folder + ": shard " + std::to_string(shard.index) + "/" +
                               std::to_string(shard.count) + " of another split than " + first.folder + " (" +
                               std::to_string(first.count) + " shards)");
        }
        if (shard.model_sha256 != first.model_sha256) {
            problems.push_back(shard.folder + ": another model (" + shard.model_path + ", SHA-256 " +
                               shard.model_sha256 + ") than " + first.folder);
        }
        if (shard.suite_name != first.suite_name) {
            problems.push_back(shard.folder + ": another case folder (" + shard.suite_name + ") than " +
                               first.folder + " (" + first.suite_name + ")");
        }
        const auto [known, fresh] = indexes.emplace(shard.index, shard.folder);
        if (!fresh && Canonical(known->second) != Canonical(shard.folder)) {
            problems.push_back("shard " + std::to_string(shard.index) + "/" + std::to_string(shard.count) +
                               " given twice: " + known->second + " and " + shard.folder);
        }
        for (const ShardCase& one : shard.cases) {
            const auto [owner, added] = owners.emplace(one.name, shard.folder);
            if (!added && Canonical(owner->second) != Canonical(shard.folder)) {
                problems.push_back("the case " + one.name + " is in both " + owner->second + " and " + shard.folder);
            }
        }
    }
    for (unsigned index = 0; index < first.count; ++index) {
        if (indexes.count(index) == 0) {
            missing.push_back("shard " + std::to_string(index) + "/" + std::to_string(first.count) + " missing");
        }
    }
    return problems;
}

// Copies the files of a case's folder in a shard report (its log and
// picture; links and anything but plain files are left) into `out`.
bool CopyCaseFolder(const std::string& from, const std::string& to, std::string& why)
{
    std::error_code error;
    if (fs::symlink_status(from, error).type() != fs::file_type::directory) {
        return true;  // a case that could not run may have no folder
    }
    if (!zor::test::safe_file::MakeFolder(to)) {
        why = "cannot make the folder " + to;
        return false;
    }
    for (fs::directory_iterator file(from, error); !error && file != fs::directory_iterator();
         file.increment(error)) {
        std::string bytes;
        const std::string name = file->path().filename().string();
        if (ReadPlainFile(file->path().string(), bytes) &&
            !zor::test::safe_file::WriteWhole(to + "/" + name, bytes)) {
            why = "cannot write " + to + "/" + name;
            return false;
        }
    }
    if (error) {
        why = "cannot read " + from + ": " + error.message();
        return false;
    }
    return true;
}

std::string JoinedJunit(const std::vector<ShardReport>& shards, const std::vector<const ShardCase*>& cases,
                        const Tally& tally, const std::string& shard_list)
{
    const XmlDoc doc(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
    xmlNode* suite = xmlNewNode(nullptr, reinterpret_cast<const xmlChar*>("testsuite"));
    xmlDocSetRootElement(doc.get(), suite);
    std::string timestamp = shards.front().timestamp;
    std::set<std::string> hosts;
    double seconds = 0;
    for (const ShardReport& shard : shards) {
        timestamp = std::min(timestamp, shard.timestamp);
        hosts.insert(shard.hostname);
        seconds += shard.seconds;
    }
    std::string hostnames;
    for (const std::string& host : hosts) {
        hostnames += (hostnames.empty() ? "" : " ") + host;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", seconds);
    const auto set = [](xmlNode* node, const char* name, const std::string& value) {
        xmlNewProp(node, reinterpret_cast<const xmlChar*>(name), reinterpret_cast<const xmlChar*>(value.c_str()));
    };
    set(suite, "name", shards.front().suite_name);
    set(suite, "timestamp", timestamp);
    set(suite, "hostname", hostnames);
    set(suite, "tests", std::to_string(tally.Total()));
    const size_t changed = static_cast<size_t>(
        std::count_if(cases.begin(), cases.end(), [](const ShardCase* one) { return one->changed; }));
    set(suite, "failures", std::to_string(tally.failed + changed));
    set(suite, "errors", std::to_string(tally.could_not_run));
    set(suite, "skipped", "0");
    set(suite, "time", time);
    xmlNode* properties = xmlNewChild(suite, nullptr, reinterpret_cast<const xmlChar*>("properties"), nullptr);
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"model", shards.front().model_path},
                                      {"model_sha256", shards.front().model_sha256},
                                      {"shard", shard_list},
                                      {"version", shards.front().version}}) {
        xmlNode* property = xmlNewChild(properties, nullptr, reinterpret_cast<const xmlChar*>("property"), nullptr);
        set(property, "name", name);
        set(property, "value", value);
    }
    for (const ShardCase* one : cases) {
        xmlAddChild(suite, xmlDocCopyNode(one->testcase, doc.get(), 1));
    }
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc.get(), &text, &size, "UTF-8", 1);
    const std::unique_ptr<xmlChar, XmlTextFree> owned(text);
    if (!owned) {
        throw std::bad_alloc();
    }
    return std::string(reinterpret_cast<const char*>(owned.get()), static_cast<size_t>(size));
}

// The shards' results.json joined: every case once in name order, the run
// of the first shard with the shards' start, hosts and list.
struct JoinedResults {
    nlohmann::json run;
    bool with_baseline = false;
    nlohmann::json previous_run;
    std::vector<CaseResult> cases;
};

JoinedResults JoinResults(const std::vector<ShardReport>& shards, const std::string& shard_list)
{
    JoinedResults joined;
    const nlohmann::json& first = shards.front().results;
    joined.run = first["run"];
    joined.with_baseline = first.value("overview_against", "") == "baseline";
    std::set<std::string> hosts;
    std::set<std::string> only_before;
    std::set<std::string> only_now;
    for (const ShardReport& shard : shards) {
        const nlohmann::json& run = shard.results.value("run", nlohmann::json::object());
        const std::string started = run.value("started", "");
        if (started < joined.run.value("started", "")) {
            joined.run["started"] = started;
        }
        hosts.insert(run.value("host", ""));
        const nlohmann::json& previous = shard.results.value("previous_run", nlohmann::json());
        if (previous.is_object()) {
            for (const nlohmann::json& name : previous.value("only_in_that_run", nlohmann::json::array())) {
                only_before.insert(name.get<std::string>());
            }
            for (const nlohmann::json& name : previous.value("only_in_this_run", nlohmann::json::array())) {
                only_now.insert(name.get<std::string>());
            }
        }
        for (const nlohmann::json& one : shard.results["cases"]) {
            joined.cases.push_back(CaseFromResultsJson(one));
        }
    }
    std::string host_list;
    for (const std::string& host : hosts) {
        host_list += (host_list.empty() ? "" : " ") + host;
    }
    joined.run["host"] = host_list;
    joined.run["options"]["shard"] = shard_list;
    std::stable_sort(joined.cases.begin(), joined.cases.end(),
                     [](const CaseResult& a, const CaseResult& b) { return a.files.name < b.files.name; });
    // A case that one shard held is not "only in that run" because another did not.
    for (const CaseResult& one : joined.cases) {
        only_before.erase(one.files.name);
    }
    const nlohmann::json& previous = first.value("previous_run", nlohmann::json());
    if (previous.is_object()) {
        joined.previous_run = previous;
        joined.previous_run["only_in_that_run"] = only_before;
        joined.previous_run["only_in_this_run"] = only_now;
    }
    return joined;
}

}  // namespace

int MergeShards(const SuiteOptions& options)
{
    std::vector<ShardReport> shards(options.merge_shards.size());
    std::vector<std::string> problems;
    for (size_t i = 0; i < shards.size(); ++i) {
        std::string why;
        if (!ReadShard(options.merge_shards[i], shards[i], why)) {
            problems.push_back(why);
        }
    }
    std::vector<std::string> missing;
    if (problems.empty()) {
        problems = CheckShards(options, shards, missing);
    }
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "facepose_suite: --merge: %s\n", PrintableText(problem).c_str());
    }
    if (!problems.empty()) {
        std::fprintf(stderr, "facepose_suite: --merge: nothing written\n");
        return 1;
    }
    for (const std::string& gap : missing) {
        std::fprintf(stderr, "facepose_suite: --merge: %s\n", gap.c_str());
    }

    // Every case once, in name order; the report lists those that did not
    // pass first, as a run does.
    std::vector<const ShardCase*> cases;
    std::set<unsigned> indexes;
    for (const ShardReport& shard : shards) {
        indexes.insert(shard.index);
        for (const ShardCase& one : shard.cases) {
            cases.push_back(&one);
        }
    }
    std::sort(cases.begin(), cases.end(), [](const ShardCase* a, const ShardCase* b) { return a->name < b->name; });
    cases.erase(std::unique(cases.begin(), cases.end(),
                            [](const ShardCase* a, const ShardCase* b) { return a->name == b->name; }),
                cases.end());
    Tally tally;
    for (const ShardCase* one : cases) {
        tally.Add(one->verdict);
    }
    const bool changed = std::any_of(cases.begin(), cases.end(), [](const ShardCase* one) { return one->changed; });
    std::string shard_list;
    for (const unsigned index : indexes) {
        shard_list += (shard_list.empty() ? "" : ",") + std::to_string(index);
    }
    shard_list += "/" + std::to_string(shards.front().count);

    if (!zor::test::safe_file::MakeFolder(options.merge_into)) {
        std::fprintf(stderr, "facepose_suite: --merge: cannot make the report folder %s\n",
                     PrintableText(options.merge_into).c_str());
        return 1;
    }
    for (const ShardReport& shard : shards) {
        for (const ShardCase& one : shard.cases) {
            std::string why;
            if (!CopyCaseFolder(shard.folder + "/" + one.name, options.merge_into + "/" + one.name, why)) {
                std::fprintf(stderr, "facepose_suite: --merge: %s\n", PrintableText(why).c_str());
                return 1;
            }
        }
    }
    // As one run orders them: failed cases worst first, then those that
    // could not run, then the rest.
    std::vector<const ShardCase*> order = cases;
    std::stable_sort(order.begin(), order.end(), [](const ShardCase* a, const ShardCase* b) {
        const auto group = [](const ShardCase* one) {
            return one->verdict == Verdict::kFailed ? 0 : one->verdict == Verdict::kError ? 1 : 2;
        };
        if (group(a) != group(b)) {
            return group(a) < group(b);
        }
        return group(a) == 0 && RowPast(a->row) > RowPast(b->row);
    });
    std::vector<std::string> rows;
    for (const ShardCase* one : order) {
        rows.push_back(one->row);
    }
    std::string note = "merged from shards " + shard_list + " of the cases " + shards.front().suite_name +
                       ", model " + shards.front().model_path;
    for (const std::string& gap : missing) {
        note += "; " + gap;
    }
    const JoinedResults joined = JoinResults(shards, shard_list);
    const std::vector<std::string> only_in_previous =
        joined.previous_run.is_object() ? joined.previous_run["only_in_that_run"].get<std::vector<std::string>>()
                                        : std::vector<std::string>();
    const std::string overview = OverviewHtml(MakeOverview(joined.cases, joined.with_baseline), joined.cases, "",
                                              joined.previous_run.is_object(), only_in_previous);
    const bool written =
        zor::test::safe_file::WriteWhole(options.merge_into + "/junit.xml", JoinedJunit(shards, cases, tally, shard_list)) &&
        zor::test::safe_file::WriteWhole(options.merge_into + "/" + kResultsName,
                                         ResultsJson(joined.run, joined.with_baseline, joined.previous_run,
                                                     joined.cases, CountVerdicts(joined.cases))) &&
        zor::test::safe_file::WriteWhole(options.merge_into + "/report.html", ReportPage(rows, tally, note, overview));
    if (!written) {
        std::fprintf(stderr, "facepose_suite: --merge: cannot write the report into %s\n",
                     PrintableText(options.merge_into).c_str());
        return 1;
    }
    std::printf("%zu cases: %zu passed, %zu failed, %zu could not run (shards %s)\n", tally.Total(), tally.passed,
                tally.failed, tally.could_not_run, shard_list.c_str());
    std::printf("report: %s/report.html\n", PrintableText(options.merge_into).c_str());
    const bool complete = missing.empty() || options.partial;
    return complete && tally.NotPassed() == 0 && !changed ? 0 : 1;
}

}  // namespace zor::test::suite
