#include "validator/result_validator.h"

#include <cstring>
#include <utility>

namespace zor {
namespace test {

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
    std::stringstream& data = logStream->dataStream;
    if (passed) {
        data << "    [PASSED] index: " << std::to_string(code) << ".\n";
    } else {
        // A failure message ends at its first NUL.
        data << "    [FAILURE] index: " << std::to_string(code) << ". msg: ";
        data.write(msg.data(), static_cast<std::streamsize>(std::strlen(msg.c_str())));
        data << '\n';
    }
}

}  // namespace test
}  // namespace zor
