#include "face_crop.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace zor {
namespace estimator {

FaceCrop::FaceCrop(const cv::Mat& bgr, const cv::RotatedRect& region, int size)
{
    const double side = region.size.width;
    if (bgr.empty() || size <= 0 || !(side > 0.0) || !std::isfinite(side) ||
        region.size.height != region.size.width || !std::isfinite(region.angle) ||
        !std::isfinite(region.center.x) || !std::isfinite(region.center.y)) {
        return;
    }
    const cv::Rect2f bounds = region.boundingRect2f();
    if (bounds.x >= bgr.cols || bounds.y >= bgr.rows || bounds.br().x <= 0 || bounds.br().y <= 0) {
        return;
    }
    // u, v in [0, 1] of the crop: image = centre + R(angle) * (u - 1/2, v - 1/2) * side.
    const double angle = region.angle * CV_PI / 180.0;
    const double c = std::cos(angle) * side;
    const double s = std::sin(angle) * side;
    const double cx = region.center.x;
    const double cy = region.center.y;
    m_toImage = cv::Matx23d(c, -s, cx - (c - s) / 2,
                            s, c, cy - (s + c) / 2);

    // A big face is first shrunk by area averaging, a whole number of
    // pixels to one, so that bilinear sampling does not skip pixels.
    cv::Mat source = bgr;
    cv::Matx23d toSource = m_toImage;
    const int factor = static_cast<int>(side / size);
    if (factor >= 2) {
        const int x0 = std::max(static_cast<int>(std::floor(bounds.x)) - factor, 0) / factor * factor;
        const int y0 = std::max(static_cast<int>(std::floor(bounds.y)) - factor, 0) / factor * factor;
        const int x1 = std::min(static_cast<int>(std::ceil(bounds.br().x)) + factor, bgr.cols) / factor * factor;
        const int y1 = std::min(static_cast<int>(std::ceil(bounds.br().y)) + factor, bgr.rows) / factor * factor;
        if (x1 > x0 && y1 > y0) {
            cv::resize(bgr(cv::Rect(x0, y0, x1 - x0, y1 - y0)), source,
                       cv::Size((x1 - x0) / factor, (y1 - y0) / factor), 0, 0, cv::INTER_AREA);
            const double k = 1.0 / factor;
            toSource = cv::Matx23d(c * k, -s * k, (m_toImage(0, 2) - x0) * k,
                                   s * k, c * k, (m_toImage(1, 2) - y0) * k);
        }
    }
    // Crop pixel (i, j) has its centre at ((i + 1/2) / size, (j + 1/2) / size);
    // OpenCV puts a source pixel's centre at integer coordinates, half a
    // pixel before our continuous ones.
    const cv::Matx23d& m = toSource;
    const double h = 0.5 / size;
    const cv::Matx23d pixelToSource(
        m(0, 0) / size, m(0, 1) / size, (m(0, 0) + m(0, 1)) * h + m(0, 2) - 0.5,
        m(1, 0) / size, m(1, 1) / size, (m(1, 0) + m(1, 1)) * h + m(1, 2) - 0.5);
    cv::warpAffine(source, m_pixels, pixelToSource, cv::Size(size, size),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar::all(0));
}

void FaceCrop::ToImage(std::vector<float>& points) const
{
    const cv::Matx23d& m = m_toImage;
    for (size_t i = 0; i + 1 < points.size(); i += 2) {
        const double u = points[i];
        const double v = points[i + 1];
        points[i] = static_cast<float>(m(0, 0) * u + m(0, 1) * v + m(0, 2));
        points[i + 1] = static_cast<float>(m(1, 0) * u + m(1, 1) * v + m(1, 2));
    }
}

}  // namespace estimator
}  // namespace zor
