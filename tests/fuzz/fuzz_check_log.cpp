// Fuzz target: the result checks and the validation log writer, on an
// expectation file parsed as the program parses it and with run-time values
// from the input.
//
// Input layout (text, so that seeds stay readable):
//   <expectation file content>
//   ==run==
//   <log type, a decimal number: 0 none, 1 failed only, 2 full, else unsupported>
//   <checks: "n" numeric, "s" string, anything else both, numeric first>
//   <one result item per line: numbers separated by blanks for the numeric
//    check ("nan", "inf", "1e40" included); the whole line for the string check>
// Without the separator line the whole input is the expectation file and the
// run is a full log of an empty numeric batch.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "validator/result_validator.h"

namespace {

constexpr std::string_view kSeparator = "\n==run==\n";

struct Run {
    int32_t logType = 2;
    char checks = 'n';
    std::vector<std::string> lines;
};

Run ReadRun(std::string_view text)
{
    Run run;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (!lines.empty()) {
        run.logType = static_cast<int32_t>(std::strtol(lines[0].c_str(), nullptr, 10));
    }
    if (lines.size() > 1) {
        run.checks = lines[1].empty() ? 'b' : lines[1][0];
    }
    if (lines.size() > 2) {
        run.lines.assign(lines.begin() + 2, lines.end());
    }
    return run;
}

std::vector<float> ReadNumbers(const std::string& line)
{
    std::vector<float> values;
    const char* cursor = line.c_str();
    while (*cursor != '\0') {
        char* end = nullptr;
        const float value = std::strtof(cursor, &end);
        if (end == cursor) {
            ++cursor;  // not a number here: skip one character
            continue;
        }
        values.push_back(value);
        cursor = end;
    }
    return values;
}

std::string ReadWholeFile(const std::string& path, bool& exists)
{
    std::ifstream file(path, std::ios::binary);
    exists = file.is_open();
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// The shape every log has: the three section heads in order, each at the
// start of a line; every other line indented by four blanks; a line feed at
// the end. With `fullLog`, the result lines number 0, 1, 2, ... with no gap.
bool WellFormedLog(const std::string& log, bool fullLog)
{
    static const char* const kHeads[] = {"[System message]", "[Check message]", "[Valid Data]"};
    if (log.empty() || log.back() != '\n') {
        return false;
    }
    size_t head = 0;
    long nextIndex = 0;
    size_t start = 0;
    while (start < log.size()) {
        const size_t end = log.find('\n', start);
        const std::string_view line(log.data() + start, end - start);
        start = end + 1;
        if (head < 3 && line == kHeads[head]) {
            ++head;
            continue;
        }
        if (head == 0 || !StartsWith(line, "    ")) {
            return false;
        }
        for (const std::string_view prefix : {"    [PASSED] index: ", "    [FAILURE] index: "}) {
            if (head == 3 && StartsWith(line, prefix)) {
                const long index = std::strtol(std::string(line.substr(prefix.size())).c_str(),
                                               nullptr, 10);
                if (fullLog && index != nextIndex) {
                    return false;
                }
                nextIndex = index + 1;
            }
        }
    }
    return head == 3;
}

bool HasResultMessage(const zor::test::ResultValidator& validator)
{
    return !validator.SystemMessages().empty() && validator.SystemMessages().rbegin()->first >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t separator = input.find(kSeparator);
    const std::string_view expectation = input.substr(0, separator);
    const Run run = separator == std::string_view::npos
                        ? Run{}
                        : ReadRun(input.substr(separator + kSeparator.size()));

    std::string path = fuzz::ScratchPath("case.nkvalid");
    const std::string logPath = fuzz::ScratchPath("case.log");
    fuzz::WriteFile(path, reinterpret_cast<const uint8_t*>(expectation.data()), expectation.size());
    std::remove(logPath.c_str());

    {
        zor::test::ResultValidator validator(path);
        validator.SetLogType(static_cast<zor::test::vlogType>(run.logType));
        validator.SetOutputlogName(logPath);

        if (run.checks != 's') {
            std::vector<std::vector<float>> results;
            for (const std::string& line : run.lines) {
                results.push_back(ReadNumbers(line));
            }
            const bool passed = validator.Check(results);
            if (passed && (!validator.Loaded() || HasResultMessage(validator))) {
                std::abort();
            }
        }
        if (run.checks != 'n') {
            const bool passed = validator.Check(run.lines);
            if (passed != (validator.Loaded() && validator.Type() == 1 && !HasResultMessage(validator))) {
                std::abort();
            }
        }
    }

    bool exists = false;
    const std::string log = ReadWholeFile(logPath, exists);
    if (run.logType == zor::test::VLOG_NONE) {
        if (exists) {
            std::abort();  // no log file for VLOG_NONE
        }
    } else if (!exists || !WellFormedLog(log, run.logType == zor::test::VLOG_FULL)) {
        std::abort();
    }
    return 0;
}
