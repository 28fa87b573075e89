#pragma once

// Text helpers for reading expectation files. They never modify their inputs
// and never fail: unexpected text gives an empty string or a zero.

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <system_error>
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

inline bool IsDigitOrPoint(char c)
{
    return (c >= '0' && c <= '9') || c == '.';
}

// strtod of `piece` as if it stood alone in a string of its own. A plain
// decimal number (digits, point and exponent, an optional leading '-') is read
// with from_chars, which gives strtod's double for it without the copy that
// strtod needs for its terminating NUL. Everything else goes to strtod: a
// leading blank or '+', hexadecimal, infinity and NaN, numbers out of range,
// text that is no number at all.
inline double ReadNumber(std::string_view piece)
{
    if (!piece.empty()) {
        const char first = piece[0];
        if (IsDigitOrPoint(first) || (first == '-' && piece.size() > 1 && IsDigitOrPoint(piece[1]))) {
            double value = 0.0;
            const char* const end = piece.data() + piece.size();
            const auto [stop, error] = std::from_chars(piece.data(), end, value);
            // "0x1p3": from_chars stops after the 0 where strtod reads on.
            if (error == std::errc() && (stop == end || (*stop != 'x' && *stop != 'X'))) {
                return value;
            }
        }
    }
    const std::string copy(piece);
    return std::strtod(copy.c_str(), nullptr);
}

// Longest text of WriteFixed: sign, 39 integer digits, point, six decimals.
constexpr std::size_t kFixedTextMax = 48;

// Writes `value` as printf's "%f" writes it (fixed notation, six decimals,
// rounded half to even on the exact binary value; "-0.000000" for negative
// values that round to zero; "nan", "inf" and their signs) at `out`, which
// has room for kFixedTextMax characters. Returns the end of the text.
char* WriteFixed(float value, char* out);

// See GetVecFromString; `isSeparator` holds the separators.
template <typename T>
std::vector<T> SplitNumbers(std::string_view text, const CharSet& isSeparator)
{
    const std::string_view trimmed = TrimView(text, " \t");
    std::size_t pieces = 1;
    for (const char c : trimmed) {
        pieces += isSeparator.Contains(c) ? 1 : 0;
    }
    std::vector<T> values;
    values.reserve(pieces);
    std::size_t start = 0;
    for (std::size_t pos = 0; pos <= trimmed.size(); ++pos) {
        if (pos == trimmed.size() || isSeparator.Contains(trimmed[pos])) {
            values.push_back(static_cast<T>(ReadNumber(trimmed.substr(start, pos - start))));
            start = pos + 1;
        }
    }
    return values;
}

template <typename T>
std::vector<T> SplitNumbers(std::string_view text, std::string_view separators)
{
    return SplitNumbers<T>(text, CharSet(separators));
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
