#include "base64_node.h"

#include <array>

namespace zor {
namespace estimator {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters per line: well under OpenCV's limit on a string (4096).
constexpr size_t kLineLength = 1024;

const std::array<signed char, 256>& DigitValues()
{
    static const std::array<signed char, 256> values = [] {
        std::array<signed char, 256> table;
        table.fill(-1);
        for (int i = 0; i < 64; ++i) {
            table[static_cast<uchar>(kAlphabet[i])] = static_cast<signed char>(i);
        }
        return table;
    }();
    return values;
}

}  // namespace

std::string EncodeBase64(const uchar* data, size_t size)
{
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) {
        const unsigned a = data[i];
        const unsigned b = i + 1 < size ? data[i + 1] : 0;
        const unsigned c = i + 2 < size ? data[i + 2] : 0;
        const unsigned group = a << 16 | b << 8 | c;
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += i + 1 < size ? kAlphabet[group >> 6 & 63] : '=';
        text += i + 2 < size ? kAlphabet[group & 63] : '=';
    }
    return text;
}

bool DecodeBase64(const std::string& text, std::vector<uchar>& bytes)
{
    bytes.clear();
    if (text.size() % 4 != 0) {
        return false;
    }
    const std::array<signed char, 256>& values = DigitValues();
    // Padding only at the very end: "xx==" or "xxx=".
    const size_t padding = text.empty() ? 0 : (text.back() == '=') + (text.size() >= 2 && text.back() == '=' && text[text.size() - 2] == '=');
    std::string digits = text;
    for (size_t k = 0; k < padding; ++k) {
        digits[digits.size() - 1 - k] = 'A';
    }
    bytes.resize(text.size() / 4 * 3);
    uchar* out = bytes.data();
    int invalid = 0;
    for (size_t i = 0; i < digits.size(); i += 4) {
        const int a = values[static_cast<uchar>(digits[i])];
        const int b = values[static_cast<uchar>(digits[i + 1])];
        const int c = values[static_cast<uchar>(digits[i + 2])];
        const int d = values[static_cast<uchar>(digits[i + 3])];
        invalid |= a | b | c | d;  // negative when any is not a digit
        const unsigned group = static_cast<unsigned>(a) << 18 | static_cast<unsigned>(b) << 12 |
                               static_cast<unsigned>(c) << 6 | static_cast<unsigned>(d);
        *out++ = static_cast<uchar>(group >> 16);
        *out++ = static_cast<uchar>(group >> 8);
        *out++ = static_cast<uchar>(group);
    }
    if (invalid < 0) {
        bytes.clear();
        return false;
    }
    bytes.resize(bytes.size() - padding);
    return true;
}

void WriteBase64(cv::FileStorage& storage, const std::string& name, const std::vector<uchar>& bytes)
{
    const std::string text = EncodeBase64(bytes.data(), bytes.size());
    storage << name << "[";
    for (size_t i = 0; i < text.size(); i += kLineLength) {
        storage << text.substr(i, kLineLength);
    }
    storage << "]";
}

bool ReadBase64(const cv::FileNode& node, std::vector<uchar>& bytes)
{
    bytes.clear();
    if (!node.isSeq()) {
        return false;
    }
    std::string text;
    for (const cv::FileNode& line : node) {
        if (!line.isString()) {
            return false;
        }
        text += line.string();
    }
    return DecodeBase64(text, bytes);
}

}  // namespace estimator
}  // namespace zor
