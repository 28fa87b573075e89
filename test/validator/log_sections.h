#pragma once

#include <ostream>

#include "validator/result_validator.h"

namespace zor {
namespace test {

// Writes the three sections of a composed log to `out` in their fixed order,
// each head line followed by its stream's text. False when a section's
// stream failed while the log was composed (for want of memory: its text is
// incomplete) or when `out` failed.
bool WriteLogSections(LogStream& log, std::ostream& out);

}  // namespace test
}  // namespace zor
