#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace zor {

// A loaded model: turns one prepared image (8-bit, three channels, BGR) into
// one result vector. An image it cannot use gives an empty vector; a run
// that fails (a failed allocation, an error inside a network) throws.
class NetModel {
public:
    virtual ~NetModel() = default;
    virtual std::vector<float> Run(const cv::Mat& image) = 0;
};

}  // namespace zor
