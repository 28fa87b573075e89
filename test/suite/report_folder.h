#pragma once

// The report folder: the report's own file names beside the case folders,
// the check that the folder may hold a report, the lock that keeps a second
// run out while one uses it, and the staging folder in it where a run's
// files wait until the run ends.

#include <string>
#include <vector>

#include "case_result.h"
#include "suite_options.h"

namespace zor::test::suite {

inline constexpr char kJunitName[] = "junit.xml";
inline constexpr char kReportName[] = "report.html";
inline constexpr char kResultsName[] = "results.json";
inline constexpr char kStagingName[] = ".facepose_suite-staging";  // the run's files until it ends
inline constexpr char kLockName[] = ".facepose_suite-lock";        // held by the run that uses the folder
inline constexpr char kPictureName[] = "annotated.png";            // a case's annotated picture

// Refuses, with the reason on standard error, a report folder that is the
// cases folder or holds it, compared as folders (device and inode, so that
// another path or a bind mount of the same folder is seen): the run would
// take its own files for cases and remove the cases' files. Refuses case
// names that are the report's own entries too.
bool CheckReportPlace(const SuiteOptions& options, const std::vector<CaseFiles>& cases);

class ReportFolder {
public:
    explicit ReportFolder(const std::string& dir);
    // Removes the staging folder, if this run made it and it is still there.
    ~ReportFolder();
    ReportFolder(const ReportFolder&) = delete;
    ReportFolder& operator=(const ReportFolder&) = delete;

    const std::string& Dir() const { return m_dir; }
    const std::string& StagingDir() const { return m_staging; }

    // Makes the report folder and takes its lock for the life of this
    // object (or of the process). When another run holds it: with `wait`,
    // calls `waiting` with that run's process id (0 when unknown) and waits
    // for it; without, gives false with the id in `holder`. False with
    // `holder` -1 when the lock cannot be had at all.
    template <typename Waiting>
    bool Lock(bool wait, Waiting waiting, long& holder)
    {
        if (TryLock(holder)) {
            return true;
        }
        if (!wait || holder < 0) {
            return false;
        }
        waiting(holder);
        return WaitLock(holder);
    }

    // Makes an empty staging folder.
    bool MakeStaging();
    // Removes the staging folder and what it holds.
    void RemoveStaging() noexcept;
    // Writes junit.xml, report.html and results.json into the staging folder.
    bool StageReport(const std::string& junit, const std::string& html, const std::string& results);
    // Moves the files a case staged into its folder of the report, in place
    // of the files an earlier run left there; a case without such a file
    // keeps none. False, with the reason in `why`, when a file cannot take
    // its place.
    bool MoveStagedFiles(const CaseFiles& files, std::string& why);
    // Renames the staged junit.xml, report.html and results.json over the earlier ones:
    // each is the earlier whole file or the new whole file at every instant.
    bool SwitchReport();

private:
    bool TryLock(long& holder);
    bool WaitLock(long& holder);

    std::string m_dir;
    std::string m_staging;
    int m_lock = -1;
    bool m_staged = false;
};

}  // namespace zor::test::suite
