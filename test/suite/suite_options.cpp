#include "suite_options.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <thread>

namespace zor::test::suite {
namespace {

enum LongOnly { kShard = 256, kFilter };

const struct option kLongOptions[] = {
    {"model", required_argument, nullptr, 'm'},  {"cases", required_argument, nullptr, 'c'},
    {"output", required_argument, nullptr, 'o'}, {"jobs", required_argument, nullptr, 'j'},
    {"shard", required_argument, nullptr, kShard}, {"filter", required_argument, nullptr, kFilter},
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

}  // namespace

std::string UsageText()
{
    return "Usage: facepose_suite -m <model dir> -c <cases dir> -o <report dir> [-j N] [--shard I/N] "
           "[--filter TEXT]\n"
           "     -m/--model <dir_path>  : nmodel folder path\n"
           "     -c/--cases <dir_path>  : one sub-folder per case, each with one image and one .nkvalid file\n"
           "     -o/--output <dir_path> : the report folder (made when missing)\n"
           "     -j/--jobs <N>          : cases run side by side, one network each (default: the cores)\n"
           "     --shard <I/N>          : every N-th case from case I on (0-based); without it,\n"
           "                              GTEST_SHARD_INDEX and GTEST_TOTAL_SHARDS when both are set\n"
           "     --filter <TEXT>        : only the cases whose name contains TEXT\n";
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
        case 'h': return std::nullopt;
        case ':': error = "missing argument of " + std::string(argv[optind - 1]); return std::nullopt;
        default: error = "unknown option " + std::string(argv[optind - 1]); return std::nullopt;
        }
    }
    if (optind < argc) {
        error = "unexpected argument \"" + std::string(argv[optind]) + "\"";
        return std::nullopt;
    }
    if (options.model_dir.empty() || options.cases_dir.empty() || options.report_dir.empty()) {
        error = "-m, -c and -o are needed";
        return std::nullopt;
    }
    const char* total = std::getenv("GTEST_TOTAL_SHARDS");
    const char* index = std::getenv("GTEST_SHARD_INDEX");
    if (!has_shard && total != nullptr && index != nullptr &&
        !ReadShard(std::string(index) + "/" + total, options.shard_index, options.shard_count)) {
        error = "GTEST_SHARD_INDEX and GTEST_TOTAL_SHARDS need I < N";
        return std::nullopt;
    }
    return options;
}

}  // namespace zor::test::suite
