#pragma once

// facepose_suite --merge OUT SHARD_REPORT...: joins the report folders of the
// shards of one run (every shard of the same cases folder and model) into one
// report folder that stands alone: junit.xml and results.json with every case,
// report.html with the overview of the joined cases and every row, and the
// cases' logs and pictures copied.

#include "suite_options.h"

namespace zor::test::suite {

// The exit status: 0 when every shard is there and every case passed; 1 when
// a case did not pass, a shard is missing (unless --partial), or the shard
// reports cannot be joined (each reason on standard error; then nothing is
// written).
int MergeShards(const SuiteOptions& options);

}  // namespace zor::test::suite
