#include "clean_text.h"

#include <cstdio>

namespace zor::test::suite {
namespace {

constexpr char32_t kNone = 0xFFFFFFFF;

// The character whose UTF-8 sequence starts at text[at], and its length in
// `length`; kNone (length 1) when the bytes there are not such a sequence.
char32_t DecodeAt(const std::string& text, size_t at, size_t& length)
{
    length = 1;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return lead;
    }
    size_t count = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return kNone;
    }
    if (at + count > text.size()) {
        return kNone;
    }
    for (size_t i = 1; i < count; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return kNone;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE ||
        code == 0xFFFF) {
        return kNone;
    }
    length = count;
    return code;
}

}  // namespace

std::string ValidUtf8(const std::string& text)
{
    std::string valid;
    valid.reserve(text.size());
    for (size_t at = 0, length = 1; at < text.size(); at += length) {
        if (DecodeAt(text, at, length) == kNone) {
            valid += "\xEF\xBF\xBD";
        } else {
            valid.append(text, at, length);
        }
    }
    return valid;
}

std::string PrintableText(const std::string& text)
{
    std::string printable;
    printable.reserve(text.size());
    for (size_t at = 0, length = 1; at < text.size(); at += length) {
        const char32_t code = DecodeAt(text, at, length);
        char escaped[8];
        if (code == kNone) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[at]));
            printable += escaped;
        } else if (code == '\n') {
            printable += "\\n";
        } else if (code == '\r') {
            printable += "\\r";
        } else if (code == '\t') {
            printable += "\\t";
        } else if (code == '\\') {
            printable += "\\\\";
        } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(code));
            printable += escaped;
        } else {
            printable.append(text, at, length);
        }
    }
    return printable;
}

std::string HtmlText(const std::string& text)
{
    std::string escaped;
    for (const char c : ValidUtf8(text)) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

}  // namespace zor::test::suite
