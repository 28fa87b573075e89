#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "network/file_utils.h"
#include "safe_file/atomic_file.h"
#include "validator/log_sections.h"
#include "validator/result_validator.h"

// The validator library does not link the network library: a program that
// links it (test_facepose) names the log through its GetFilename; in one that
// does not, the reference stays empty and the configured name is used as it
// is, which is what that function does with a bare file name.
namespace zor {
namespace utils {
std::string GetFilename(const std::string& path) __attribute__((weak));
}  // namespace utils

namespace test {

namespace {

std::string LogFileName(const std::string& name)
{
    return &zor::utils::GetFilename != nullptr ? zor::utils::GetFilename(name) : name;
}

constexpr char kPartialLog[] = "This validation log only output part of the results";
constexpr char kUnsupportedLogType[] = "Unsupported log type.";

// Every index from 0 up to the larger of `entryCount` and the highest failed
// index plus one gets one line: FAILURE with its message, or PASSED. Code
// messages go to their sections.
void InsertAllResults(const std::map<int32_t, std::string>& messages, std::size_t entryCount,
                      LogStream& log)
{
    int64_t next = 0;
    for (const auto& [key, message] : messages) {
        if (key >= 0) {
            for (; next < key; ++next) {
                ResultValidator::InsertStream(static_cast<int>(next), std::string(), &log, true);
            }
            next = static_cast<int64_t>(key) + 1;
        }
        ResultValidator::InsertStream(key, message, &log, false);
    }
    for (; static_cast<uint64_t>(next) < entryCount; ++next) {
        ResultValidator::InsertStream(static_cast<int>(next), std::string(), &log, true);
    }
}

// Writes the head line of a section, then the section's text straight from its
// stream: str() would copy it first, and a log of a million items holds tens
// of megabytes. An empty section adds nothing (inserting an empty buffer
// would mark the file as failed).
bool WriteSection(std::ostream& out, const char* head, std::stringstream& section)
{
    if (section.fail()) {
        return false;
    }
    out << head;
    if (section.tellp() > 0) {
        out << section.rdbuf();
    }
    return !out.fail();
}

}  // namespace

bool WriteLogSections(LogStream& log, std::ostream& out)
{
    return WriteSection(out, "[System message]\n", log.systemStream) &&
           WriteSection(out, "[Check message]\n", log.checkStream) &&
           WriteSection(out, "[Valid Data]\n", log.dataStream) && out.flush();
}

// The log replaces its name whole or not at all (see AtomicFile): a failure
// anywhere leaves the earlier log, if any, as it was.
bool ResultValidator::LogWriter()
{
    if (m_logType == VLOG_NONE) {
        return false;
    }
    const std::size_t entryCount = std::max(m_numericData.size(), m_stringData.size());
    safe_file::AtomicFile file(LogFileName(m_outputlogName));
    if (!file.Open()) {
        std::puts("Failed to open log file!");
        return false;
    }

    bool written = true;
    bool complete = false;
    try {
        LogStream log;
        if (!m_numericData.empty() && m_numericData.size() != m_numsToCheck) {
            InsertStream(ERR_WARNING, kPartialLog, &log, false);
        }
        InsertStream(ERR_INFO, "Total validation num: " + std::to_string(m_numsToCheck) + ".", &log, false);
        switch (m_logType) {
        case VLOG_FAILED_ONLY:
            for (const auto& [key, message] : m_systemMessages) {
                InsertStream(key, message, &log, false);
            }
            break;
        case VLOG_FULL:
            InsertAllResults(m_systemMessages, entryCount, log);
            break;
        default:
            InsertStream(ERR_LOG_TYPE, kUnsupportedLogType, &log, true);
            written = false;
            break;
        }
        complete = WriteLogSections(log, file.Stream());
    } catch (const std::exception&) {
        complete = false;  // no memory for the log's text
    }
    if (!complete || !file.Close() || !file.Commit(true)) {
        std::puts("Failed to write log file!");
        return false;
    }
    return written;
}

}  // namespace test
}  // namespace zor
