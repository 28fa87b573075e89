#include "report_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "clean_text.h"
#include "safe_file/file_writing.h"
#include "shared/log_name.h"

namespace zor::test::suite {

bool CheckReportPlace(const SuiteOptions& options, const std::vector<CaseFiles>& cases)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path report = fs::weakly_canonical(fs::absolute(options.report_dir, error), error);
    const fs::path folder = fs::weakly_canonical(fs::absolute(options.cases_dir, error), error);
    const fs::path inside = folder.lexically_relative(report);
    if (!inside.empty() && *inside.begin() != "..") {
        std::fprintf(stderr, "facepose_suite: the report folder %s %s the cases folder %s\n",
                     PrintableText(options.report_dir).c_str(), inside == "." ? "is" : "holds",
                     PrintableText(options.cases_dir).c_str());
        return false;
    }
    bool usable = true;
    for (const CaseFiles& one : cases) {
        if (one.name == kJunitName || one.name == kReportName || one.name == kResultsName ||
            one.name == kStagingName) {
            std::fprintf(stderr, "facepose_suite: the case %s has the name of the report's own %s\n",
                         PrintableText(one.name).c_str(), one.name == kStagingName ? "staging folder" : "file");
            usable = false;
        }
    }
    return usable;
}

ReportFolder::ReportFolder(const std::string& dir) : m_dir(dir), m_staging(dir + "/" + kStagingName) {}

bool ReportFolder::MakeStaging()
{
    std::error_code error;
    return zor::test::safe_file::MakeFolder(m_dir) && (std::filesystem::remove_all(m_staging, error), !error) &&
           zor::test::safe_file::MakeFolder(m_staging);
}

void ReportFolder::RemoveStaging()
{
    std::error_code error;
    std::filesystem::remove_all(m_staging, error);
}

void ReportFolder::RemoveOldReport()
{
    zor::test::safe_file::RemoveOldFile(ReportPath());
    zor::test::safe_file::RemoveOldFile(JunitPath());
    zor::test::safe_file::RemoveOldFile(ResultsPath());
}

bool ReportFolder::MoveStagedFiles(const CaseFiles& files, std::string& why)
{
    namespace fs = std::filesystem;
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

}  // namespace zor::test::suite
