#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace zor {
namespace estimator {

// The landmark network's view of a face: the box's pixels, padded with
// black to a centred square and scaled to the network's input size, the way
// face-api prepares them. It keeps what is needed to map the network's
// [0, 1] outputs back to image pixels.
class FaceCrop {
public:
    // Cuts `box` (clipped to the image, corners rounded down) out of an
    // 8-bit BGR image. Empty when the clipped box holds no pixel.
    FaceCrop(const cv::Mat& bgr, const cv::Rect2f& box, int size);

    bool Empty() const { return m_pixels.empty(); }
    const cv::Mat& Pixels() const { return m_pixels; }
    const cv::Rect& Region() const { return m_region; }

    // Maps x,y pairs in [0, 1] of the crop to image pixels, in place.
    void ToImage(std::vector<float>& points) const;

private:
    cv::Rect m_region;
    cv::Point2f m_origin;  // the clipped box's corner before rounding
    cv::Mat m_pixels;
};

// Bilinear scaling with TensorFlow's resizeBilinear sampling (no half-pixel
// centres, no corner alignment): output pixel (x, y) reads the source at
// (x * width / outWidth, y * height / outHeight), edges repeated.
cv::Mat ResizeBilinearTf(const cv::Mat& bgr, cv::Size size);

}  // namespace estimator
}  // namespace zor
