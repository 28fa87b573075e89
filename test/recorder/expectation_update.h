#pragma once

// Accepting a changed pose into an existing expectation file: the file's
// own keys, comments and condition stay, only the values change.

#include <optional>
#include <string>
#include <vector>

namespace zor::test::recorder {

// `text` (an expectation file) with the values of its first data line
// replaced by `pose`, written with nine significant digits; every other
// byte stays, the data line's indentation, condition and comment included.
// Nothing when the text has no data line after its "Valid data" line.
std::optional<std::string> WithValuesReplaced(const std::string& text, const std::vector<float>& pose);

// Each value's old and new reading: "yaw 1.000000 -> 2.000000, pitch ...";
// a value the old line did not have reads "none".
std::string ChangeText(const std::vector<float>& before, const std::vector<float>& after);

}  // namespace zor::test::recorder
