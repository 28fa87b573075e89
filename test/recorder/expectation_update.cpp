#include "expectation_update.h"

#include <cstdio>

#include "recording_policy.h"
#include "validator/expectation_text.h"
#include "validator/text_utils.h"

namespace zor::test::recorder {
namespace {

const char kBlanks[] = " \t";

// Where the part of `line` that the parser reads starts and how long it is:
// the line before its first "#", without the blanks around it (and without
// the carriage return of a CRLF line, which is not part of a value).
void ReadPart(const std::string& line, std::size_t& start, std::size_t& length)
{
    const std::string part = RemoveComments(line, kBlanks);
    start = part.empty() ? 0 : line.find_first_not_of(kBlanks);
    length = part.size();
    if (length > 0 && part[length - 1] == '\r') {
        --length;
    }
}

}  // namespace

std::optional<std::string> WithValuesReplaced(const std::string& text, const std::vector<float>& pose)
{
    bool inData = false;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t newline = text.find('\n', begin);
        const std::size_t end = newline == std::string::npos ? text.size() : newline;
        const std::string line = text.substr(begin, end - begin);
        std::size_t start = 0;
        std::size_t length = 0;
        ReadPart(line, start, length);
        if (length > 0 && inData) {
            // The condition and the blank after it stay; the line's own ending too.
            std::string values = NumericLineText(line.substr(start, 1), pose);
            values.pop_back();
            if (length > 1) {
                values[1] = line[start + 1];
            }
            return text.substr(0, begin + start) + values + text.substr(begin + start + length);
        }
        inData = inData || (length > 0 && line.compare(start, 10, "Valid data") == 0);
        begin = end + 1;
    }
    return std::nullopt;
}

std::string ChangeText(const std::vector<float>& before, const std::vector<float>& after)
{
    std::string text;
    for (std::size_t i = 0; i < after.size(); ++i) {
        char change[96];
        if (i < before.size()) {
            std::snprintf(change, sizeof change, " %f -> %f", static_cast<double>(before[i]),
                          static_cast<double>(after[i]));
        } else {
            std::snprintf(change, sizeof change, " none -> %f", static_cast<double>(after[i]));
        }
        text += (i == 0 ? "" : ", ") + ValueName(i, after.size()) + change;
    }
    return text;
}

}  // namespace zor::test::recorder
