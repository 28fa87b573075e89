#include "suite_options.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <thread>

namespace zor::test::suite {
namespace {

enum LongOnly { kShard = 256, kFilter, kSuiteName, kAllowEmpty, kMerge, kPartial, kBaseline, kFailOnChange, kPrevious,
                kNoWait };

const struct option kLongOptions[] = {
    {"model", required_argument, nullptr, 'm'},  {"cases", required_argument, nullptr, 'c'},
    {"output", required_argument, nullptr, 'o'}, {"jobs", required_argument, nullptr, 'j'},
    {"shard", required_argument, nullptr, kShard}, {"filter", required_argument, nullptr, kFilter},
    {"suite-name", required_argument, nullptr, kSuiteName}, {"allow-empty", no_argument, nullptr, kAllowEmpty},
    {"merge", required_argument, nullptr, kMerge}, {"partial", no_argument, nullptr, kPartial},
    {"baseline-model", required_argument, nullptr, kBaseline},
    {"fail-on-change", no_argument, nullptr, kFailOnChange},
    {"previous", required_argument, nullptr, kPrevious},
    {"no-wait", no_argument, nullptr, kNoWait},
    {"help", no_argument, nullptr, 'h'},         {nullptr, 0, nullptr, 0},
};

// A whole decimal number, without sign or blanks.
bool ReadUnsigned(std::string_view text, unsigned& value)
{
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "I/N" with I < N.
bool ReadShard(std::string_view text, unsigned& index, unsigned& count)
{
    const size_t slash = text.find('/');
    return slash != std::string_view::npos && ReadUnsigned(text.substr(0, slash), index) &&
           ReadUnsigned(text.substr(slash + 1), count) && count > 0 && index < count;
}

// A set variable's value; empty when unset.
std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The shard from a pair of variables, when both are set: "I < N" or an error.
bool ShardFromVariables(const char* index_name, const char* total_name, SuiteOptions& options, bool& found,
                        std::string& error)
{
    const char* index = std::getenv(index_name);
    const char* total = std::getenv(total_name);
    if (found || index == nullptr || total == nullptr) {
        return true;
    }
    found = true;
    if (!ReadShard(std::string(index) + "/" + total, options.shard_index, options.shard_count)) {
        error = std::string(index_name) + " and " + total_name + " need I < N";
        return false;
    }
    return true;
}

}  // namespace

std::string UsageText()
{
    return "Usage: facepose_suite -m <model dir> -c <cases dir> -o <report dir> [-j N] [--shard I/N] "
           "[--filter TEXT] [--suite-name NAME] [--allow-empty] [--no-wait]\n"
           "                      [--baseline-model DIR [--fail-on-change]] [--previous REPORT_DIR]\n"
           "       facepose_suite --merge <report dir> [--partial] <shard report dir>...\n"
           "     -m/--model <dir_path>  : nmodel folder path\n"
           "     -c/--cases <dir_path>  : one sub-folder per case, each with one image and one .nkvalid file\n"
           "     -o/--output <dir_path> : the report folder (made when missing)\n"
           "     -j/--jobs <N>          : cases run side by side, one network each (default: the cores)\n"
           "     --shard <I/N>          : every N-th case from case I on (0-based); without it,\n"
           "                              GTEST_SHARD_INDEX and GTEST_TOTAL_SHARDS when both are set\n"
           "                              (or Bazel's TEST_SHARD_INDEX and TEST_TOTAL_SHARDS)\n"
           "     --filter <TEXT>        : only the cases whose name contains TEXT\n"
           "     --suite-name <NAME>    : junit.xml's suite name (default: the cases folder's name)\n"
           "     --allow-empty          : a run that selects no case passes\n"
           "     --merge <dir>          : join the reports of the shards of one run into one report\n"
           "     --partial              : with --merge, missing shards do not fail the merge\n"
           "     --baseline-model <dir_path> : also run every case through this model and report the change;\n"
           "                              cases without a .nkvalid file take part\n"
           "     --fail-on-change       : with --baseline-model, status 1 when a case changed\n"
           "     --previous <dir_path>  : the report folder of an earlier run (its results.json) to compare with\n"
           "     --no-wait              : stop at once when another run uses the report folder\n";
}

std::optional<SuiteOptions> ParseSuiteOptions(int argc, char** argv, std::string& error)
{
    SuiteOptions options;
    options.jobs = std::max(1u, std::thread::hardware_concurrency());
    bool has_shard = false;
    opterr = 0;
    int opt = 0;
    while ((opt = getopt_long(argc, argv, ":m:c:o:j:h", kLongOptions, nullptr)) != -1) {
        switch (opt) {
        case 'm': options.model_dir = optarg; break;
        case 'c': options.cases_dir = optarg; break;
        case 'o': options.report_dir = optarg; break;
        case 'j':
            if (!ReadUnsigned(optarg, options.jobs) || options.jobs == 0) {
                error = "-j needs a number of at least 1, not \"" + std::string(optarg) + "\"";
                return std::nullopt;
            }
            break;
        case kShard:
            if (!ReadShard(optarg, options.shard_index, options.shard_count)) {
                error = "--shard needs I/N with I < N, not \"" + std::string(optarg) + "\"";
                return std::nullopt;
            }
            has_shard = true;
            break;
        case kFilter: options.filter = optarg; break;
        case kSuiteName: options.suite_name = optarg; break;
        case kAllowEmpty: options.allow_empty = true; break;
        case kMerge: options.merge_into = optarg; break;
        case kPartial: options.partial = true; break;
        case kBaseline: options.baseline_dir = optarg; break;
        case kFailOnChange: options.fail_on_change = true; break;
        case kPrevious: options.previous_dir = optarg; break;
        case kNoWait: options.wait = false; break;
        case 'h': return std::nullopt;
        case ':': error = "missing argument of " + std::string(argv[optind - 1]); return std::nullopt;
        default: error = "unknown option " + std::string(argv[optind - 1]); return std::nullopt;
        }
    }
    if (!options.merge_into.empty()) {
        options.merge_shards.assign(argv + optind, argv + argc);
        if (options.merge_shards.empty()) {
            error = "--merge needs the shards' report folders";
            return std::nullopt;
        }
        return options;
    }
    if (optind < argc) {
        error = "unexpected argument \"" + std::string(argv[optind]) + "\"";
        return std::nullopt;
    }
    if (options.report_dir.empty()) {
        options.report_dir = Variable("TEST_UNDECLARED_OUTPUTS_DIR");
    }
    if (options.model_dir.empty() || options.cases_dir.empty() || options.report_dir.empty()) {
        error = "-m, -c and -o are needed";
        return std::nullopt;
    }
    if (options.fail_on_change && options.baseline_dir.empty()) {
        error = "--fail-on-change needs --baseline-model";
        return std::nullopt;
    }
    if (!ShardFromVariables("GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS", options, has_shard, error) ||
        !ShardFromVariables("TEST_SHARD_INDEX", "TEST_TOTAL_SHARDS", options, has_shard, error)) {
        return std::nullopt;
    }
    options.shard_status_file = Variable("GTEST_SHARD_STATUS_FILE");
    if (options.shard_status_file.empty()) {
        options.shard_status_file = Variable("TEST_SHARD_STATUS_FILE");
    }
    options.junit_copy = Variable("XML_OUTPUT_FILE");
    return options;
}

}  // namespace zor::test::suite
