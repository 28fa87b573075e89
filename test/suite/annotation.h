#pragma once

// The picture of a case: the image with the face box, the 68 landmarks and
// the head-pose axes of the actual and, where different, the expected pose.

#include <vector>

#include <opencv2/core.hpp>

namespace zor::test::suite {

// The picture is at most `side` pixels wide and high. `landmarks`: 68 (x, y)
// pairs in image pixels, or empty (the picture then shows the image alone).
// Poses are yaw, pitch and roll in degrees; an empty `expected` is not drawn.
cv::Mat Annotate(const cv::Mat& image, const std::vector<float>& landmarks, const std::vector<float>& actual,
                 const std::vector<float>& expected, int side);

}  // namespace zor::test::suite
