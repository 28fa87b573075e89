#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

namespace zor {
namespace bench {

// Images without a face, as suites hold them (blank frames, broken crops):
// flat grey 256x256 and 640x480, noise, and the camera man's photo below
// his coat and tripod (grass and a building), each with a file name stem.
inline std::vector<std::pair<std::string, cv::Mat>> NoFaceImages(const cv::Mat& cameraPhoto)
{
    cv::Mat noise(480, 640, CV_8UC3);
    cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 256);
    const int top = std::min(400, cameraPhoto.rows - 1);
    return {
        {"grey-256x256", cv::Mat(256, 256, CV_8UC3, cv::Scalar::all(128))},
        {"grey-640x480", cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(128))},
        {"noise-640x480", noise},
        {"camera-background", cameraPhoto(cv::Rect(0, top, cameraPhoto.cols, cameraPhoto.rows - top)).clone()},
    };
}

}  // namespace bench
}  // namespace zor
