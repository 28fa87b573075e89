#pragma once

#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "net_model.h"

namespace zor {

// The "fixed" model kind: every image that is not empty gets the same
// stored output vector. Reads the document's `output` sequence; on a
// problem returns null and describes it in `error`.
std::shared_ptr<NetModel> ReadFixedModel(const cv::FileNode& document, std::string& error);

}  // namespace zor
