#pragma once

// One run of the suite: finds the cases, runs them on the workers, prints a
// line per case and the summary, and writes the report.

#include "suite_options.h"

namespace zor::test::suite {

// The exit status: 0 when every case passed, 1 when a case failed or could
// not run, when no case was selected (see EmptyRunProblem), or when the run
// itself could not start or write its report.
int RunSuite(const SuiteOptions& options);

}  // namespace zor::test::suite
