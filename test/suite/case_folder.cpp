#include "case_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "image_files.h"

namespace facepose_suite {

namespace fs = std::filesystem;

bool FindCases(const std::string& folder, std::vector<CaseFiles>& cases, std::vector<std::string>& skipped)
{
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) {
        return false;
    }
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) {
            return false;
        }
        const fs::path& path = entries->path();
        if (!entries->is_directory(error)) {
            skipped.push_back(path.filename().string() + ": not a folder");
            continue;
        }
        std::vector<fs::path> images;
        std::vector<fs::path> expectations;
        for (fs::directory_iterator file(path, error); !error && file != fs::directory_iterator();
             file.increment(error)) {
            if (!file->is_regular_file(error)) {
                continue;
            }
            if (facepose::IsImageFile(file->path())) {
                images.push_back(file->path());
            } else if (file->path().extension() == ".nkvalid") {
                expectations.push_back(file->path());
            }
        }
        if (error || images.size() != 1 || expectations.size() != 1) {
            skipped.push_back(path.filename().string() + ": needs one image and one .nkvalid file");
            continue;
        }
        cases.push_back({path.filename().string(), images[0].string(), expectations[0].string()});
    }
    std::sort(cases.begin(), cases.end(), [](const CaseFiles& a, const CaseFiles& b) { return a.name < b.name; });
    std::sort(skipped.begin(), skipped.end());
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

}  // namespace facepose_suite
