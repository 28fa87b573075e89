#pragma once

#include <string>

namespace zor::test::shared {

// The validation log is named after the expectation file: its name without
// directory and last extension, plus ".log" (a.b.nkvalid gives a.b.log,
// dir.old/case gives case.log, a path ending in "/" or .nkvalid gives .log).
std::string LogNameFor(std::string expectation_path);

}  // namespace zor::test::shared
