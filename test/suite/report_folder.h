#pragma once

// The report folder: the report's own file names beside the case folders,
// the check that the folder may hold a report, and the staging folder in it
// where a run's case files wait until the run ends.

#include <string>
#include <vector>

#include "case_result.h"
#include "suite_options.h"

namespace zor::test::suite {

inline constexpr char kJunitName[] = "junit.xml";
inline constexpr char kReportName[] = "report.html";
inline constexpr char kResultsName[] = "results.json";
inline constexpr char kStagingName[] = ".facepose_suite-staging";  // the run's files until it ends
inline constexpr char kPictureName[] = "annotated.png";            // a case's annotated picture

// Refuses, with the reason on standard error, a report folder that is the
// cases folder or holds it (the run would take its own files for cases and
// remove the cases' files) and case names that are the report's own files.
bool CheckReportPlace(const SuiteOptions& options, const std::vector<CaseFiles>& cases);

class ReportFolder {
public:
    explicit ReportFolder(const std::string& dir);

    const std::string& Dir() const { return m_dir; }
    const std::string& StagingDir() const { return m_staging; }
    std::string JunitPath() const { return m_dir + "/" + kJunitName; }
    std::string ReportPath() const { return m_dir + "/" + kReportName; }
    std::string ResultsPath() const { return m_dir + "/" + kResultsName; }

    // Makes the report folder and an empty staging folder in it.
    bool MakeStaging();
    // Removes the staging folder and what it holds.
    void RemoveStaging();
    // Removes the earlier run's junit.xml, report.html and results.json.
    void RemoveOldReport();
    // Moves the files a case staged into its folder of the report, in place
    // of the files an earlier run left there; a case without such a file
    // keeps none. False, with the reason in `why`, when a file cannot take
    // its place.
    bool MoveStagedFiles(const CaseFiles& files, std::string& why);

private:
    std::string m_dir;
    std::string m_staging;
};

}  // namespace zor::test::suite
