#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace zor {
namespace estimator {

// The landmark network's view of a face: a square of the image, centred on
// the face and turned with it so that the face stands upright, scaled to
// the network's input size. Image coordinates are continuous: pixel (i, j)
// covers [i, i + 1) x [j, j + 1), so that mirroring maps x to width - x.
// The crop is sampled with sub-pixel accuracy (no rounding of its corners),
// so a mirrored or turned face gives the mirrored or turned crop.
class FaceCrop {
public:
    // Cuts the square `region` (its angle in degrees, clockwise in the
    // image) out of an 8-bit BGR image into `size` x `size` pixels; what
    // falls outside the image is black. Empty when the square has no area
    // or lies wholly outside the image.
    FaceCrop(const cv::Mat& bgr, const cv::RotatedRect& region, int size);

    bool Empty() const { return m_pixels.empty(); }
    const cv::Mat& Pixels() const { return m_pixels; }

    // Maps x,y pairs in [0, 1] of the crop to image coordinates, in place.
    void ToImage(std::vector<float>& points) const;

private:
    cv::Matx23d m_toImage;  // [0, 1] of the crop to image coordinates
    cv::Mat m_pixels;
};

}  // namespace estimator
}  // namespace zor
