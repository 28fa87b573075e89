#pragma once

// The validator's own text scanning, beneath the helpers of text_utils.h:
// views instead of copies, a character-set table, the number reader and the
// "%f" writer. Not installed: the validator, its tests and benchmarks use it.

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace zor {
namespace test {

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

// GetVecFromString (text_utils.h) on a view; `isSeparator` holds the separators.
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

}  // namespace test
}  // namespace zor
