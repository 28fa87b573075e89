#include "report_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "clean_text.h"
#include "safe_file/file_writing.h"
#include "shared/log_name.h"

namespace zor::test::suite {
namespace {

namespace fs = std::filesystem;

bool SameFolder(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// 1 when `cases` is the folder `report`, 2 when `report` holds it (on any
// path, through any mount), 0 otherwise.
int ReportOverCases(const std::string& report, const std::string& cases)
{
    struct stat report_info {};
    if (::stat(report.c_str(), &report_info) != 0) {
        return 0;  // a folder yet to be made holds nothing
    }
    std::error_code error;
    fs::path folder = fs::weakly_canonical(fs::absolute(cases, error), error);
    for (int depth = 1;; ++depth) {
        struct stat info {};
        if (::stat(folder.c_str(), &info) == 0 && SameFolder(info, report_info)) {
            return depth == 1 ? 1 : 2;
        }
        if (folder == folder.parent_path()) {
            return 0;
        }
        folder = folder.parent_path();
    }
}

// The process id the lock file names, 0 when it names none.
long LockHolder(int descriptor)
{
    char text[32] = {};
    const ssize_t got = ::pread(descriptor, text, sizeof text - 1, 0);
    const long holder = got > 0 ? std::strtol(text, nullptr, 10) : 0;
    return holder > 0 ? holder : 0;
}

void NameHolder(int descriptor)
{
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%ld\n", static_cast<long>(::getpid()));
    if (::ftruncate(descriptor, 0) == 0) {
        static_cast<void>(::pwrite(descriptor, text, static_cast<size_t>(length), 0));
    }
}

}  // namespace

bool CheckReportPlace(const SuiteOptions& options, const std::vector<CaseFiles>& cases)
{
    if (const int over = ReportOverCases(options.report_dir, options.cases_dir); over != 0) {
        std::fprintf(stderr, "facepose_suite: the report folder %s %s the cases folder %s\n",
                     PrintableText(options.report_dir).c_str(), over == 1 ? "is" : "holds",
                     PrintableText(options.cases_dir).c_str());
        return false;
    }
    bool usable = true;
    for (const CaseFiles& one : cases) {
        if (one.name == kJunitName || one.name == kReportName || one.name == kResultsName ||
            one.name == kStagingName || one.name == kLockName) {
            std::fprintf(stderr, "facepose_suite: the case %s has the name of the report's own %s\n",
                         PrintableText(one.name).c_str(),
                         one.name == kStagingName ? "staging folder" : "file");
            usable = false;
        }
    }
    return usable;
}

ReportFolder::ReportFolder(const std::string& dir) : m_dir(dir), m_staging(dir + "/" + kStagingName) {}

ReportFolder::~ReportFolder()
{
    if (m_staged) {
        RemoveStaging();
    }
    if (m_lock >= 0) {
        ::close(m_lock);
    }
}

bool ReportFolder::TryLock(long& holder)
{
    holder = -1;
    if (!zor::test::safe_file::MakeFolder(m_dir)) {
        return false;
    }
    const std::string path = m_dir + "/" + kLockName;
    m_lock = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat info {};
    if (m_lock < 0 || ::fstat(m_lock, &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    if (::flock(m_lock, LOCK_EX | LOCK_NB) == 0) {
        NameHolder(m_lock);
        return true;
    }
    if (errno == EWOULDBLOCK) {
        holder = LockHolder(m_lock);
    }
    return false;
}

bool ReportFolder::WaitLock(long& holder)
{
    int result = 0;
    while ((result = ::flock(m_lock, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        holder = -1;
        return false;
    }
    NameHolder(m_lock);
    return true;
}

bool ReportFolder::MakeStaging()
{
    m_staged = true;
    std::error_code error;
    return (fs::remove_all(m_staging, error), !error) && zor::test::safe_file::MakeFolder(m_staging);
}

void ReportFolder::RemoveStaging() noexcept
{
    try {
        std::error_code error;
        fs::remove_all(m_staging, error);
    } catch (const std::exception&) {
        // Left for the next run, which removes it first.
    }
}

bool ReportFolder::StageReport(const std::string& junit, const std::string& html, const std::string& results)
{
    return zor::test::safe_file::WriteWhole(m_staging + "/" + kJunitName, junit) &&
           zor::test::safe_file::WriteWhole(m_staging + "/" + kReportName, html) &&
           zor::test::safe_file::WriteWhole(m_staging + "/" + kResultsName, results);
}

bool ReportFolder::MoveStagedFiles(const CaseFiles& files, std::string& why)
{
    const std::string from = m_staging + "/" + files.name;
    const std::string to = m_dir + "/" + files.name;
    if (!zor::test::safe_file::MakeFolder(to)) {
        why = "cannot make the folder " + to;
        return false;
    }
    for (const std::string& name : {zor::test::shared::LogNameFor(files.expectation), std::string(kPictureName)}) {
        std::error_code error;
        if (fs::symlink_status(from + "/" + name, error).type() != fs::file_type::regular) {
            zor::test::safe_file::RemoveOldFile(to + "/" + name);
        } else if (std::rename((from + "/" + name).c_str(), (to + "/" + name).c_str()) != 0) {
            why = "cannot move " + name + " into " + to + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool ReportFolder::SwitchReport()
{
    bool switched = true;
    for (const char* name : {kResultsName, kJunitName, kReportName}) {
        struct stat info {};
        const std::string to = m_dir + "/" + name;
        if (::lstat(to.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            switched = false;  // never in place of a link, a folder or a device
            continue;
        }
        switched = std::rename((m_staging + "/" + name).c_str(), to.c_str()) == 0 && switched;
    }
    return switched;
}

}  // namespace zor::test::suite
