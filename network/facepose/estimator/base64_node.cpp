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
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        // Padding only at the very end: "xx==" or "xxx=".
        const int padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        unsigned group = 0;
        for (int k = 0; k < 4; ++k) {
            const int digit = k >= 4 - padding ? 0 : values[static_cast<uchar>(text[i + k])];
            if (digit < 0) {
                return false;
            }
            group = group << 6 | static_cast<unsigned>(digit);
        }
        bytes.push_back(static_cast<uchar>(group >> 16));
        if (padding < 2) {
            bytes.push_back(static_cast<uchar>(group >> 8 & 0xff));
        }
        if (padding < 1) {
            bytes.push_back(static_cast<uchar>(group & 0xff));
        }
    }
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
