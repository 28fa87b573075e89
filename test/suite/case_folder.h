#pragma once

// The cases of a suite: every sub-folder of the cases folder that holds one
// image and one .nkvalid file, in name order.

#include <string>
#include <vector>

namespace facepose_suite {

struct CaseFiles {
    std::string name;         // the sub-folder's name
    std::string image;        // path of its image
    std::string expectation;  // path of its .nkvalid file
};

// Lists the cases of `folder` in name order. Every other entry is added to
// `skipped` with the reason. Returns false when the folder cannot be read.
bool FindCases(const std::string& folder, std::vector<CaseFiles>& cases, std::vector<std::string>& skipped);

// The cases whose name contains `filter`, then of those every `count`-th one
// starting at `index` (0-based).
std::vector<CaseFiles> SelectCases(const std::vector<CaseFiles>& cases, const std::string& filter, unsigned index,
                                   unsigned count);

}  // namespace facepose_suite
