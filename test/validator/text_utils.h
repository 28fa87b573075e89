#pragma once

// Text helpers for reading expectation files. They never modify their inputs
// and never fail: unexpected text gives an empty string or a zero.

#include <string>
#include <vector>

namespace zor {
namespace test {

// Text after the last "." of `path` (directory parts included); empty when
// there is no ".".
std::string GetFileExtType(const std::string& path);

// `text` without the leading and trailing characters that occur in `set`.
std::string Trimming(const std::string& text, const std::string& set);

// `line` up to its first "#", trimmed of the characters in `blanks`.
std::string RemoveComments(const std::string& line, const std::string& blanks);

// Splits `text`, trimmed of spaces and tabs, at every character of
// `separators` and converts each piece with strtod. Every separator closes a
// piece, so two separators in a row give a 0 between them and the result is
// never empty. Defined for float.
template <typename T>
std::vector<T> GetVecFromString(const std::string& text, const std::string& separators);

extern template std::vector<float> GetVecFromString<float>(const std::string& text, const std::string& separators);

}  // namespace test
}  // namespace zor
