#include "network/facepose.h"

#include <opencv2/imgproc.hpp>

#include "facepose/model_file.h"

namespace zor {
namespace vision {

ImageNet::ImageNet(const std::string& model, ZORCtx* ctx) : BaseNet(model, ctx) {}

bool ImageNet::PrepareImage(const cv::Mat& src, cv::Mat& dst, float& scale)
{
    scale = 1.0f;
    if (src.empty() || src.dims != 2) {
        dst.release();
        return false;
    }
    cv::Mat eightBit = src;
    if (src.depth() != CV_8U) {
        double minValue = 0.0;
        double maxValue = 0.0;
        cv::minMaxLoc(src.reshape(1), &minValue, &maxValue);
        const double factor = maxValue > 255.0 ? 255.0 / maxValue : 1.0;
        src.convertTo(eightBit, CV_8U, factor);
    }
    switch (eightBit.channels()) {
    case 1: cv::cvtColor(eightBit, dst, cv::COLOR_GRAY2BGR); break;
    case 3: dst = eightBit; break;
    case 4: cv::cvtColor(eightBit, dst, cv::COLOR_BGRA2BGR); break;
    default: dst.release(); return false;
    }
    return true;
}

Facepose::Facepose(const std::string& model, ZORCtx* ctx) : ImageNet(model, ctx)
{
    m_sharedObject = LoadFaceposeModel(model);
    m_ready = m_sharedObject != nullptr;
}

void Facepose::Detect(const std::vector<cv::Mat>& images, std::vector<std::vector<float>>& results)
{
    for (const cv::Mat& image : images) {
        std::vector<float> result;
        cv::Mat prepared;
        float scale = 1.0f;
        if (m_sharedObject && PrepareImage(image, prepared, scale)) {
            result = m_sharedObject->Run(prepared);
        }
        results.push_back(std::move(result));
        ++m_runCount;
    }
}

}  // namespace vision
}  // namespace zor
