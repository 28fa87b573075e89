#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "network/image_net.h"

namespace zor {
namespace vision {

// Face-pose network. For every image, `Detect` gives one result vector:
// elements 0..135 the 68 facial landmarks (x, y in image pixels),
// elements 136..138 yaw, pitch and roll divided by 90 degrees. A model or
// image that cannot be used, or an image without a face, gives an empty
// (or shorter) vector for that image. A failed inference (a failed
// allocation, an error inside the network) is an exception out of
// `Detect`, std::bad_alloc, cv::Exception or another std::exception, never
// a result: `results` then holds the results of the images before the one
// that failed.
class Facepose : public ImageNet {
public:
    Facepose(const std::string& model, ZORCtx* ctx);
    virtual ~Facepose() {}

    void Detect(const std::vector<cv::Mat>& images, std::vector<std::vector<float>>& results);
};

}  // namespace vision
}  // namespace zor
