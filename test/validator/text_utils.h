#pragma once

// Text helpers for reading expectation files. They never modify their inputs
// and never fail: unexpected text gives an empty string or a zero.

#include <cstdlib>
#include <string>
#include <string_view>
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

namespace detail {

std::string_view TrimView(std::string_view text, std::string_view set);
std::string_view StripCommentView(std::string_view line, std::string_view blanks);

// See GetVecFromString.
template <typename T>
std::vector<T> SplitNumbers(std::string_view text, std::string_view separators)
{
    const std::string_view trimmed = TrimView(text, " \t");
    std::vector<T> values;
    std::string piece;  // strtod needs a terminated copy of each piece
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = trimmed.find_first_of(separators, start);
        piece.assign(trimmed.substr(start, end == std::string_view::npos ? end : end - start));
        values.push_back(static_cast<T>(std::strtod(piece.c_str(), nullptr)));
        if (end == std::string_view::npos) {
            return values;
        }
        start = end + 1;
    }
}

}  // namespace detail

// Splits `text`, trimmed of spaces and tabs, at every character of
// `separators` and converts each piece with strtod. Every separator closes a
// piece, so two separators in a row give a 0 between them and the result is
// never empty.
template <typename T>
std::vector<T> GetVecFromString(const std::string& text, const std::string& separators)
{
    return detail::SplitNumbers<T>(text, separators);
}

}  // namespace test
}  // namespace zor
