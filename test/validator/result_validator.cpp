#include "validator/result_validator.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

namespace zor {
namespace test {

ResultValidator::ResultValidator(std::string& path) : ResultValidator(std::as_const(path)) {}

ResultValidator::ResultValidator(const std::string& path, ValidatorOutput output) : m_output(output)
{
    if (ValidationFileParser(path)) {
        if (m_output == ValidatorOutput::kPrinted) {
            PrintFileInfo();
        }
        m_loaded = true;
    }
}

ResultValidator::~ResultValidator()
{
    try {
        if (LogWriter() && m_output == ValidatorOutput::kPrinted) {
            std::printf("Log written to %s.\n", m_outputlogName.c_str());
        }
    } catch (...) {
        // Nothing may leave a destructor: without memory the log is not written.
    }
}

void ResultValidator::SetLogType(vlogType type)
{
    m_logType = type;
}

void ResultValidator::SetOutputlogName(std::string name)
{
    m_outputlogName = std::move(name);
}

void ResultValidator::InsertStream(int code, std::string msg, LogStream* logStream, bool passed)
{
    if (logStream == nullptr) {
        return;
    }
    if (code >= ERR_LOG_TYPE && code <= ERR_INFO) {
        switch (code) {
        case ERR_SIZE:
            logStream->checkStream << "    " << msg << '\n';
            break;
        case ERR_WARNING:
            logStream->dataStream << "    [WARNING] " << msg << '\n';
            break;
        case ERR_INFO:
            logStream->dataStream << "    " << msg << '\n';
            break;
        default:  // ERR_LOG_TYPE, ERR_FILE, ERR_MISSING
            logStream->systemStream << "    " << msg << '\n';
            break;
        }
        return;
    }
    // An item line is built in one buffer and handed to the stream in one
    // write: a log may hold millions of them. The index is written as
    // std::to_string writes an int.
    static constexpr char kPassed[] = "    [PASSED] index: ";
    static constexpr char kFailure[] = "    [FAILURE] index: ";
    char line[64];
    char* end = passed ? std::copy(kPassed, kPassed + sizeof kPassed - 1, line)
                       : std::copy(kFailure, kFailure + sizeof kFailure - 1, line);
    end = std::to_chars(end, line + sizeof line, code).ptr;
    std::stringstream& data = logStream->dataStream;
    if (passed) {
        *end++ = '.';
        *end++ = '\n';
        data.write(line, end - line);
    } else {
        // A failure message ends at its first NUL.
        static constexpr char kMessage[] = ". msg: ";
        end = std::copy(kMessage, kMessage + sizeof kMessage - 1, end);
        data.write(line, end - line);
        data.write(msg.data(), static_cast<std::streamsize>(std::strlen(msg.c_str())));
        data.put('\n');
    }
}

}  // namespace test
}  // namespace zor
