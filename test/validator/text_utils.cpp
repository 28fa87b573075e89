#include "validator/text_utils.h"

#include "validator/text_scan.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace zor {
namespace test {

namespace detail {

std::string_view TrimView(std::string_view text, std::string_view set)
{
    const std::size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(set);
    return text.substr(first, last - first + 1);
}

std::string_view StripCommentView(std::string_view line, std::string_view blanks)
{
    return TrimView(line.substr(0, line.find('#')), blanks);
}

char* WriteFixed(float value, char* out)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const uint32_t biased = (bits >> 23) & 0xFFu;
    const uint64_t fraction = bits & 0x7FFFFFu;
    // The value is mantissa * 2^exponent, exactly.
    const uint64_t mantissa = biased == 0 ? fraction : (fraction | 0x800000u);
    const int exponent = biased == 0 ? -149 : static_cast<int>(biased) - 150;
    if (biased == 0xFFu || exponent > 39) {
        // nan, inf, and integers of 64 bits and more: rare, left to printf.
        return out + std::snprintf(out, kFixedTextMax, "%f", static_cast<double>(value));
    }
    constexpr uint64_t kScale = 1000000;  // six decimals
    uint64_t whole = 0;
    uint64_t decimals = 0;
    if (exponent >= 0) {
        whole = mantissa << exponent;  // below 2^63
    } else if (exponent > -64) {
        // mantissa * 10^6 < 2^44 is exact; round half to even on what the
        // shift drops. Below 2^-63 the value rounds to 0.
        const int shift = -exponent;
        const uint64_t scaled = mantissa * kScale;
        uint64_t millionths = scaled >> shift;
        const uint64_t dropped = scaled & ((uint64_t{1} << shift) - 1);
        const uint64_t half = uint64_t{1} << (shift - 1);
        if (dropped > half || (dropped == half && (millionths & 1u) != 0)) {
            ++millionths;
        }
        whole = millionths / kScale;
        decimals = millionths % kScale;
    }
    if ((bits >> 31) != 0) {
        *out++ = '-';
    }
    out = std::to_chars(out, out + kFixedTextMax, whole).ptr;
    *out++ = '.';
    for (int i = 5; i >= 0; --i) {
        out[i] = static_cast<char>('0' + decimals % 10);
        decimals /= 10;
    }
    return out + 6;
}

}  // namespace detail

std::string GetFileExtType(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string Trimming(const std::string& text, const std::string& set)
{
    return std::string(detail::TrimView(text, set));
}

std::string RemoveComments(const std::string& line, const std::string& blanks)
{
    return std::string(detail::StripCommentView(line, blanks));
}

template <typename T>
std::vector<T> GetVecFromString(const std::string& text, const std::string& separators)
{
    return detail::SplitNumbers<T>(text, separators);
}

template std::vector<float> GetVecFromString<float>(const std::string& text, const std::string& separators);

}  // namespace test
}  // namespace zor
