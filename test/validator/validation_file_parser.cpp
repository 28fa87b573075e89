#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "validator/line_reader.h"
#include "validator/result_validator.h"
#include "validator/text_scan.h"
#include "validator/text_utils.h"

namespace zor {
namespace test {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr char kExtension[] = "nkvalid";

constexpr char kBadExtension[] = "Invalid file extension.";
constexpr char kCannotOpen[] = "Cannot open *.nkvalid file.";
constexpr char kUnsupportedType[] = "Error! unsupported compare type.";
constexpr char kFormatMismatch[] = "Error! nkvalid format not match.";
constexpr char kTypeMissing[] = "Validation type error!";
constexpr char kNumericFormat[] = "Error, numeric-match data format not match.";
constexpr char kCountFallBack[] =
    "The value in \"Nums to Check\" is larger than Valid Data, falling back to the number of "
    "Valid Data.";

// Header keys and the position where each value starts.
constexpr std::string_view kTypeKey = "Type";
constexpr std::size_t kTypeValue = 6;
constexpr std::string_view kCountKey = "Nums to Check";
constexpr std::size_t kCountValue = 14;
constexpr std::string_view kThresholdKey = "Threshold";
constexpr std::size_t kThresholdValue = 10;
// An absolute tolerance in the values' own units, read as "Threshold" is.
constexpr std::string_view kToleranceKey = "Tolerance";
constexpr std::size_t kToleranceValue = 10;
constexpr std::string_view kDataKey = "Valid data";


const char kRule[] = "================================================";

// Prints the parser's failure message, keeps it under ERR_FILE and gives the
// parser's result.
bool Fail(std::map<int32_t, std::string>& messages, const char* text, bool lineBreak)
{
    if (lineBreak) {
        std::puts(text);
    } else {
        std::fputs(text, stdout);
    }
    messages.emplace(ERR_FILE, text);
    return false;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// Text of `line` from `pos` on; empty (never out of range) for short lines.
const char* ValueAt(const std::string& line, std::size_t pos)
{
    return line.c_str() + std::min(pos, line.size());
}

std::string_view TailAt(const std::string& line, std::size_t pos)
{
    return std::string_view(line).substr(std::min(pos, line.size()));
}

// "Nums to Check" value. A number beyond the signed 32-bit range counts as
// larger than any data, so the fall-back to the data entry count applies.
uint64_t ReadCount(const char* text)
{
    errno = 0;
    const long value = std::strtol(text, nullptr, 10);
    if (errno == ERANGE || value > INT32_MAX || value < INT32_MIN) {
        return static_cast<uint64_t>(-1);
    }
    // A negative count is kept sign-extended: it reads as a very large count.
    return static_cast<uint64_t>(static_cast<int64_t>(value));
}

// "Tolerance" value: false unless it is one number and nothing else (blanks
// and a CRLF line's carriage return aside), finite and 0 or more as a float.
bool ReadTolerance(const char* text, float& tolerance)
{
    char* end = nullptr;
    const float value = static_cast<float>(std::strtod(text, &end));
    const std::string_view rest(end);
    if (end == text || rest.find_first_not_of(" \t\r") != std::string_view::npos || !std::isfinite(value) ||
        value < 0.0f) {
        return false;
    }
    tolerance = value;
    return true;
}

// Next line that holds something once its comment and outer blanks are gone.
// The view is valid until the next read. False at the end of the file.
bool NextContent(LineReader& reader, std::string_view& content)
{
    std::string_view raw;
    while (reader.Next(raw)) {
        content = detail::StripCommentView(raw, kBlanks);
        if (!content.empty()) {
            return true;
        }
    }
    return false;
}

// As NextContent, copied into `line` for the readers that need a NUL.
bool NextContentLine(LineReader& reader, std::string& line)
{
    std::string_view content;
    if (!NextContent(reader, content)) {
        return false;
    }
    line.assign(content);
    return true;
}

// Condition of a numeric data line from its first word; false when the word
// is no comparison sign.
bool ReadCondition(std::string_view line, int32_t& condition)
{
    return ConditionFromText(line.substr(0, line.find_first_of(kBlanks)), condition);
}

}  // namespace

bool ResultValidator::ValidationFileParser(const std::string& path)
{
    m_stringData.clear();
    m_numericData.clear();
    m_systemMessages.clear();
    m_hasTolerance = false;
    m_tolerance = 0.0f;

    if (GetFileExtType(path) != kExtension) {
        return Fail(m_systemMessages, kBadExtension, true);
    }
    LineReader reader;
    if (!reader.Open(path)) {
        return Fail(m_systemMessages, kCannotOpen, true);
    }

    std::string line;
    bool thresholdGiven = false;
    bool headerClosed = false;
    while (!headerClosed && NextContentLine(reader, line)) {
        if (StartsWith(line, kTypeKey)) {
            const std::string_view value = TailAt(line, kTypeValue);
            if (StartsWith(value, "numeric-match")) {
                m_type = TYPE_NUMERIC;
            } else if (StartsWith(value, "string-match")) {
                m_type = TYPE_STRING;
            } else {
                return Fail(m_systemMessages, kUnsupportedType, false);
            }
        } else if (StartsWith(line, kCountKey)) {
            m_numsToCheck = ReadCount(ValueAt(line, kCountValue));
        } else if (StartsWith(line, kThresholdKey)) {
            m_threshold = static_cast<float>(std::strtod(ValueAt(line, kThresholdValue), nullptr) / 100.0);
            thresholdGiven = true;
        } else if (StartsWith(line, kToleranceKey)) {
            if (!ReadTolerance(ValueAt(line, kToleranceValue), m_tolerance)) {
                return Fail(m_systemMessages, kFormatMismatch, true);
            }
            m_hasTolerance = true;
        } else if (StartsWith(line, kDataKey) && (m_type == TYPE_STRING || m_type == TYPE_NUMERIC)) {
            headerClosed = true;
        } else {
            return Fail(m_systemMessages, kFormatMismatch, true);
        }
    }

    // With an absolute tolerance, a file without "Threshold" allows no
    // relative part.
    if (m_hasTolerance && !thresholdGiven) {
        m_threshold = 0.0f;
    }

    if (m_type == TYPE_NUMERIC) {
        const detail::CharSet blanks(kBlanks);
        std::string_view content;
        while (NextContent(reader, content)) {
            DataNumericStruct entry;
            if (!ReadCondition(content, entry.condition)) {
                return Fail(m_systemMessages, kNumericFormat, true);
            }
            // The values follow the one-character sign.
            entry.values = detail::SplitNumbers<float>(content.substr(1), blanks);
            m_numericData.push_back(std::move(entry));
        }
    } else if (m_type == TYPE_STRING) {
        while (NextContentLine(reader, line)) {
            m_stringData.try_emplace(line, 1);
        }
    } else {
        return Fail(m_systemMessages, kTypeMissing, false);
    }

    const uint64_t entryCount = std::max(m_numericData.size(), m_stringData.size());
    if (m_numsToCheck == 0) {
        m_numsToCheck = entryCount;
    } else if (m_numsToCheck > entryCount) {
        m_systemMessages.emplace(ERR_FILE, kCountFallBack);
        m_numsToCheck = entryCount;
    }
    return true;
}

void ResultValidator::PrintFileInfo()
{
    std::puts(kRule);
    std::printf("Type: %d\n", m_type);
    std::printf("Threshold: %f\n", m_threshold);
    if (m_hasTolerance) {
        std::printf("Tolerance: %f\n", m_tolerance);
    }
    std::puts("Valid data:");
    if (m_type == TYPE_STRING) {
        for (const auto& entry : m_stringData) {
            std::fwrite(entry.first.data(), 1, entry.first.size(), stdout);
            std::putchar('\n');
        }
    } else if (m_type == TYPE_NUMERIC) {
        // Lines are put together in one buffer and written when it is nearly
        // full and at every line end: one write per line, not per value.
        char text[4096];
        char* const last = text + sizeof text - detail::kFixedTextMax - 1;
        for (const DataNumericStruct& entry : m_numericData) {
            const char sign = ConditionText(entry.condition)[0];
            if (sign == '?') {
                std::puts("Error! Forget to set type?");
                return;
            }
            char* end = text;
            *end++ = sign;
            *end++ = ' ';
            for (const float value : entry.values) {
                if (end > last) {
                    std::fwrite(text, 1, static_cast<std::size_t>(end - text), stdout);
                    end = text;
                }
                end = detail::WriteFixed(value, end);
                *end++ = ' ';
            }
            *end++ = '\n';
            std::fwrite(text, 1, static_cast<std::size_t>(end - text), stdout);
        }
    } else {
        std::puts("Error! invalid m_type.");
    }
    std::puts(kRule);
}

}  // namespace test
}  // namespace zor
