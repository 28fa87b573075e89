#pragma once

// The cases of one suite run: every case folder of the cases folder in name
// order, filtered and sharded. A folder the suite cannot run (an image without
// its expectation file, the wrong files, one that cannot be read) is a case
// too, with the reason it cannot run: it is reported as an error, never left
// out.

#include <string>
#include <vector>

#include "shared/case_folder.h"
#include "suite_options.h"

namespace zor::test::suite {

struct SuiteCases {
    std::vector<zor::test::shared::CaseFiles> selected;  // this run's cases, in name order
    std::vector<std::string> problems;  // per selected case: why it cannot run; empty: it runs
    size_t found = 0;     // case folders in the cases folder
    size_t matching = 0;  // of those, the ones the filter keeps, over all shards
};

// Lists the cases; plain files beside them are named on standard error. False,
// with the reason on standard error, when the cases folder cannot be listed.
bool FindSuiteCases(const SuiteOptions& options, SuiteCases& cases);

// Why a run that selected no case fails ("the cases folder C holds none",
// "no case name contains "F""); empty when it passes: --allow-empty, or a
// shard left without cases while the other shards hold them.
std::string EmptyRunProblem(const SuiteOptions& options, const SuiteCases& cases);

}  // namespace zor::test::suite
