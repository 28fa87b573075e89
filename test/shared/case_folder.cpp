#include "shared/case_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "shared/image_files.h"

namespace zor::test::shared {
namespace {

namespace fs = std::filesystem;

// Sorts the files of one case folder into images and expectation files.
// Entries that cannot be examined go to `skipped`; false when the folder
// itself cannot be listed.
bool ListCaseFiles(const fs::path& folder, std::vector<fs::path>& images, std::vector<fs::path>& expectations,
                   std::vector<SkippedEntry>& skipped)
{
    std::error_code error;
    fs::directory_iterator file(folder, error);
    for (; !error && file != fs::directory_iterator(); file.increment(error)) {
        std::error_code fileError;
        const bool regular = file->is_regular_file(fileError);
        if (fileError) {
            skipped.push_back({file->path().string(), SkippedEntry::Why::kUnreadable, fileError.message()});
        } else if (regular && IsImageFile(file->path())) {
            images.push_back(file->path());
        } else if (regular && file->path().extension() == ".nkvalid") {
            expectations.push_back(file->path());
        }
    }
    if (error) {
        skipped.push_back({folder.string(), SkippedEntry::Why::kUnreadable, error.message()});
    }
    return !error;
}

}  // namespace

bool FindCases(const std::string& folder, std::vector<CaseFiles>& cases, std::vector<SkippedEntry>& skipped,
               std::error_code& error)
{
    fs::directory_iterator entries(folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path& path = entries->path();
        std::error_code entryError;
        const bool isFolder = entries->is_directory(entryError);
        if (entryError) {
            skipped.push_back({path.string(), SkippedEntry::Why::kUnreadable, entryError.message()});
            continue;
        }
        if (!isFolder) {
            skipped.push_back({path.string(), SkippedEntry::Why::kNotAFolder, ""});
            continue;
        }
        std::vector<fs::path> images;
        std::vector<fs::path> expectations;
        if (!ListCaseFiles(path, images, expectations, skipped)) {
            continue;
        }
        if (images.size() != 1 || expectations.size() > 1) {
            skipped.push_back({path.string(), SkippedEntry::Why::kWrongFiles, ""});
        } else {
            cases.push_back({path.filename().string(), images[0].string(),
                             expectations.empty() ? std::string() : expectations[0].string()});
        }
    }
    if (error) {
        return false;
    }
    std::sort(cases.begin(), cases.end(), [](const CaseFiles& a, const CaseFiles& b) { return a.name < b.name; });
    std::sort(skipped.begin(), skipped.end(),
              [](const SkippedEntry& a, const SkippedEntry& b) { return a.path < b.path; });
    return true;
}

std::vector<CaseFiles> SelectCases(const std::vector<CaseFiles>& cases, const std::string& filter, unsigned index,
                                   unsigned count)
{
    std::vector<CaseFiles> selected;
    unsigned position = 0;
    for (const CaseFiles& one : cases) {
        if (one.name.find(filter) == std::string::npos) {
            continue;
        }
        if (position++ % count == index) {
            selected.push_back(one);
        }
    }
    return selected;
}

}  // namespace zor::test::shared
