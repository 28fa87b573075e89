#pragma once

// A case folder: one sub-folder per case, holding one image and at most one
// .nkvalid file. The suite runs the cases that have their expectation file;
// the recorder writes the ones that do not yet.

#include <string>
#include <system_error>
#include <vector>

namespace zor::test::shared {

struct CaseFiles {
    std::string name;         // the sub-folder's name
    std::string image;        // path of its image
    std::string expectation;  // path of its .nkvalid file; empty when it has none
};

// An entry of the cases folder that is not a case.
struct SkippedEntry {
    enum class Why {
        kNotAFolder,    // a plain file (or anything but a folder) beside the cases
        kUnreadable,    // the entry or a file in it cannot be examined
        kWrongFiles,    // a folder without exactly one image, or with several .nkvalid files
    };
    std::string path;    // as listed: the cases folder joined with the entry's name
    Why why = Why::kWrongFiles;
    std::string detail;  // the system's message for kUnreadable
};

// Lists the cases of `folder` and the entries that are not cases, each in
// name order. False, with `error` set, when `folder` itself cannot be listed.
bool FindCases(const std::string& folder, std::vector<CaseFiles>& cases, std::vector<SkippedEntry>& skipped,
               std::error_code& error);

// The cases whose name contains `filter`, then of those every `count`-th one
// starting at `index` (0-based).
std::vector<CaseFiles> SelectCases(const std::vector<CaseFiles>& cases, const std::string& filter, unsigned index,
                                   unsigned count);

}  // namespace zor::test::shared
