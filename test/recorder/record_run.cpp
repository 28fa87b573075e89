#include "record_run.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <vector>

#include "record_case.h"
#include "record_tally.h"
#include "shared/case_folder.h"
#include "shared/pose_run.h"

namespace zor::test::recorder {
namespace {

namespace fs = std::filesystem;

const char kProgram[] = "record_facepose";

// Where a case without an expectation file gets one: beside its image,
// named after it.
std::string OutputFor(const zor::test::shared::CaseFiles& one)
{
    return one.expectation.empty() ? fs::path(one.image).replace_extension(".nkvalid").string() : one.expectation;
}

// Counts the entries that are not cases: a folder that cannot be a case is
// a case that could not run; plain files beside the cases are passed over.
void ReportSkipped(const std::vector<zor::test::shared::SkippedEntry>& skipped, Tally& tally)
{
    using Why = zor::test::shared::SkippedEntry::Why;
    for (const zor::test::shared::SkippedEntry& entry : skipped) {
        if (entry.why == Why::kUnreadable) {
            std::cerr << kProgram << ": " << entry.path << ": cannot read it (" << entry.detail << "); skipped."
                      << std::endl;
        } else if (entry.why == Why::kWrongFiles) {
            std::cerr << kProgram << ": " << entry.path
                      << ": must hold one image and at most one .nkvalid file; skipped." << std::endl;
        }
        if (entry.why != Why::kNotAFolder) {
            tally.Add(Outcome::kCouldNotRun);
        }
    }
}

}  // namespace

int RecordSingle(const RecordRequest& request)
{
    const std::string model_path = zor::test::shared::ModelFilePath(request.model_dir);
    zor::test::shared::RequireInputFiles(model_path, request.pic_path);
    const CaseVoice voice{kProgram, false};
    switch (RecordCase(request, model_path, request.pic_path, request.output_path, voice)) {
    case Outcome::kWritten: return 0;
    case Outcome::kCouldNotRun: return zor::test::shared::kExitShortResult;
    case Outcome::kKept:
        std::cerr << kProgram << ": " << request.output_path << " exists; pass -f to overwrite it." << std::endl;
        return 1;
    default: return 1;
    }
}

int RecordFolder(const RecordRequest& request)
{
    std::vector<zor::test::shared::CaseFiles> cases;
    std::vector<zor::test::shared::SkippedEntry> skipped;
    std::error_code error;
    if (!zor::test::shared::FindCases(request.cases_dir, cases, skipped, error)) {
        std::cerr << kProgram << ": cannot read " << request.cases_dir << " (" << error.message() << ")."
                  << std::endl;
        return 1;
    }
    const std::string model_path = zor::test::shared::ModelFilePath(request.model_dir);
    std::error_code modelError;
    if (!fs::is_regular_file(model_path, modelError)) {
        std::cout << "Cannot find valid model file." << std::endl;
        return 1;
    }
    Tally tally;
    ReportSkipped(skipped, tally);
    for (const zor::test::shared::CaseFiles& one : zor::test::shared::SelectCases(cases, request.filter, 0, 1)) {
        const CaseVoice voice{std::string(kProgram) + ": " + (fs::path(request.cases_dir) / one.name).string(), true};
        try {
            tally.Add(request.update ? UpdateCase(request, model_path, one, voice)
                                     : RecordCase(request, model_path, one.image, OutputFor(one), voice));
        } catch (const std::exception& e) {
            std::cerr << voice.who << ": stopped: " << e.what() << std::endl;
            tally.Add(Outcome::kCouldNotRun);
        }
    }
    std::cout << SummaryLine(tally, request.update) << std::endl;
    return FolderStatus(tally);
}

}  // namespace zor::test::recorder
