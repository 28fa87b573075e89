#pragma once

// Text helpers for reading expectation files. They never modify their inputs
// and never fail: unexpected text gives an empty string or a zero.

#include <array>
#include <cstddef>
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

// Membership test for the characters of a set, one table look-up per byte.
class CharSet {
public:
    explicit CharSet(std::string_view chars)
    {
        for (const char c : chars) {
            m_member[static_cast<unsigned char>(c)] = true;
        }
    }
    bool Contains(char c) const { return m_member[static_cast<unsigned char>(c)]; }

private:
    std::array<bool, 256> m_member{};
};

// See GetVecFromString.
template <typename T>
std::vector<T> SplitNumbers(std::string_view text, std::string_view separators)
{
    const std::string_view trimmed = TrimView(text, " \t");
    const CharSet isSeparator(separators);
    std::size_t pieces = 1;
    for (const char c : trimmed) {
        pieces += isSeparator.Contains(c) ? 1 : 0;
    }
    std::vector<T> values;
    values.reserve(pieces);
    std::string piece;  // strtod needs a terminated copy of each piece
    std::size_t start = 0;
    for (std::size_t pos = 0; pos <= trimmed.size(); ++pos) {
        if (pos == trimmed.size() || isSeparator.Contains(trimmed[pos])) {
            piece.assign(trimmed.data() + start, pos - start);
            values.push_back(static_cast<T>(std::strtod(piece.c_str(), nullptr)));
            start = pos + 1;
        }
    }
    return values;
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
