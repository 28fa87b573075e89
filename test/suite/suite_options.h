#pragma once

// The command line of facepose_suite.

#include <optional>
#include <string>
#include <vector>

namespace zor::test::suite {

struct SuiteOptions {
    std::string model_dir;
    std::string cases_dir;
    std::string report_dir;
    unsigned jobs = 1;
    unsigned shard_index = 0;
    unsigned shard_count = 1;
    std::string filter;
    std::string suite_name;         // the junit testsuite's name; empty: the cases folder's
    bool allow_empty = false;       // a run that selects no case passes
    std::string shard_status_file;  // touched once the shard is known (GTEST_ or TEST_SHARD_STATUS_FILE)
    std::string junit_copy;         // XML_OUTPUT_FILE: where junit.xml goes too
    // --merge OUT SHARD_REPORT...: joins shard reports instead of running.
    std::string merge_into;
    std::vector<std::string> merge_shards;
    bool partial = false;           // a merge with shards missing passes
    std::string baseline_dir;     // --baseline-model: every case also runs through this model
    bool fail_on_change = false;  // --fail-on-change: a case that changed from the baseline fails the run
    std::string previous_dir;     // --previous: the report folder of the run to compare with
    bool wait = true;  // for another run that uses the report folder
};

// Reads the options. The shard comes from --shard, else from the variables
// GTEST_SHARD_INDEX and GTEST_TOTAL_SHARDS, else from Bazel's TEST_SHARD_INDEX
// and TEST_TOTAL_SHARDS; without -o the report goes to Bazel's
// TEST_UNDECLARED_OUTPUTS_DIR. On bad usage, gives nothing and the reason in
// `error`.
std::optional<SuiteOptions> ParseSuiteOptions(int argc, char** argv, std::string& error);

// The usage text, ending with a newline.
std::string UsageText();

}  // namespace zor::test::suite
