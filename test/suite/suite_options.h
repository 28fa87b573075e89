#pragma once

// The command line of facepose_suite.

#include <optional>
#include <string>

namespace zor::test::suite {

struct SuiteOptions {
    std::string model_dir;
    std::string cases_dir;
    std::string report_dir;
    unsigned jobs = 1;
    unsigned shard_index = 0;
    unsigned shard_count = 1;
    std::string filter;
};

// Reads the options; the shard comes from --shard, else from the variables
// GTEST_SHARD_INDEX and GTEST_TOTAL_SHARDS. On bad usage, gives nothing and
// the reason in `error`.
std::optional<SuiteOptions> ParseSuiteOptions(int argc, char** argv, std::string& error);

// The usage text, ending with a newline.
std::string UsageText();

}  // namespace zor::test::suite
