#pragma once

#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "network/base_net.h"

namespace zor {
namespace vision {

// A network whose input is an image.
class ImageNet : public BaseNet {
public:
    ImageNet(const std::string& model, ZORCtx* ctx);
    virtual ~ImageNet() {}

    // Converts `src` to what the model takes (three-channel, 8-bit) into
    // `dst`; `scale` receives the factor applied to the image's size.
    virtual bool PrepareImage(const cv::Mat& src, cv::Mat& dst, float& scale);

protected:
    int32_t m_inputWidth = 0;
    int32_t m_inputHeight = 0;
    std::vector<std::pair<std::string, cv::Mat>> m_namedImages;
    std::vector<float> m_plainListC;
    std::vector<float> m_plainListD;
};

}  // namespace vision
}  // namespace zor
