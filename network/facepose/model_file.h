#pragma once

#include <memory>
#include <string>

#include "core/net_model.h"

namespace zor {
namespace vision {

// Reads a face-pose model file (a document cv::FileStorage reads, with a
// string `kind`). On any problem writes one line naming the file and the
// problem to standard error and returns null.
std::shared_ptr<NetModel> LoadFaceposeModel(const std::string& path);

}  // namespace vision
}  // namespace zor
