// facepose_suite: runs a folder of test_facepose cases in one process, with
// the model loaded once per worker, and writes each case's validation log,
// an annotated picture, junit.xml and report.html into the report folder;
// with --merge, joins the report folders of a run's shards into one.
//
// Exit status: 0 when every case passed, 1 when a case failed or could not
// run, when no case was selected (unless --allow-empty or the other shards
// hold cases), or the run itself could not start, 3 when standard output
// could not be written, 255 on bad usage.

#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "shared/exit_status.h"
#include "shared/output_check.h"
#include "shard_merge.h"
#include "suite_options.h"
#include "suite_run.h"

int main(int argc, char** argv)
{
    zor::test::shared::OpenStandardDescriptors();
    zor::test::shared::CheckOutputAtExit("facepose_suite");
    try {
        std::string error;
        const std::optional<zor::test::suite::SuiteOptions> parsed =
            zor::test::suite::ParseSuiteOptions(argc, argv, error);
        if (!parsed) {
            if (error.empty()) {
                std::fputs(zor::test::suite::UsageText().c_str(), stdout);
                return zor::test::shared::kExitDone;
            }
            std::fprintf(stderr, "facepose_suite: %s\n%s", error.c_str(), zor::test::suite::UsageText().c_str());
            return zor::test::shared::kExitUsage;
        }
        return parsed->merge_into.empty() ? zor::test::suite::RunSuite(*parsed)
                                          : zor::test::suite::MergeShards(*parsed);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "facepose_suite: the run stopped: %s\n", e.what());
        return zor::test::shared::kExitFailed;
    }
}
