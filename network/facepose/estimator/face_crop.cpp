#include "face_crop.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace zor {
namespace estimator {

cv::Mat ResizeBilinearTf(const cv::Mat& bgr, cv::Size size)
{
    cv::Mat result(size, CV_8UC3);
    const float scaleX = static_cast<float>(bgr.cols) / size.width;
    const float scaleY = static_cast<float>(bgr.rows) / size.height;
    for (int y = 0; y < size.height; ++y) {
        const float sy = y * scaleY;
        const int y0 = static_cast<int>(sy);
        const int y1 = std::min(y0 + 1, bgr.rows - 1);
        const float fy = sy - y0;
        for (int x = 0; x < size.width; ++x) {
            const float sx = x * scaleX;
            const int x0 = static_cast<int>(sx);
            const int x1 = std::min(x0 + 1, bgr.cols - 1);
            const float fx = sx - x0;
            const cv::Vec3b& a = bgr.at<cv::Vec3b>(y0, x0);
            const cv::Vec3b& b = bgr.at<cv::Vec3b>(y0, x1);
            const cv::Vec3b& c = bgr.at<cv::Vec3b>(y1, x0);
            const cv::Vec3b& d = bgr.at<cv::Vec3b>(y1, x1);
            cv::Vec3b& out = result.at<cv::Vec3b>(y, x);
            for (int ch = 0; ch < 3; ++ch) {
                const float top = a[ch] + (b[ch] - a[ch]) * fx;
                const float bottom = c[ch] + (d[ch] - c[ch]) * fx;
                out[ch] = cv::saturate_cast<uchar>(top + (bottom - top) * fy);
            }
        }
    }
    return result;
}

FaceCrop::FaceCrop(const cv::Mat& bgr, const cv::Rect2f& box, int size)
{
    const float left = std::max(box.x, 0.0f);
    const float top = std::max(box.y, 0.0f);
    const float width = std::min(box.x + box.width, static_cast<float>(bgr.cols)) - left;
    const float height = std::min(box.y + box.height, static_cast<float>(bgr.rows)) - top;
    m_region = cv::Rect(static_cast<int>(std::floor(left)), static_cast<int>(std::floor(top)),
                        static_cast<int>(std::floor(width)), static_cast<int>(std::floor(height)));
    m_region &= cv::Rect(0, 0, bgr.cols, bgr.rows);
    m_origin = cv::Point2f(left, top);
    if (m_region.empty() || size <= 0) {
        return;
    }
    // Half the padding (rounded) goes after the face, the rest before it.
    const int diff = std::abs(m_region.width - m_region.height);
    const int after = static_cast<int>(std::lround(diff * 0.5));
    const int before = diff - after;
    cv::Mat square;
    if (m_region.width < m_region.height) {
        cv::copyMakeBorder(bgr(m_region), square, 0, 0, before, after, cv::BORDER_CONSTANT | cv::BORDER_ISOLATED,
                           cv::Scalar::all(0));
    } else {
        cv::copyMakeBorder(bgr(m_region), square, before, after, 0, 0, cv::BORDER_CONSTANT | cv::BORDER_ISOLATED,
                           cv::Scalar::all(0));
    }
    m_pixels = ResizeBilinearTf(square, cv::Size(size, size));
}

void FaceCrop::ToImage(std::vector<float>& points) const
{
    // face-api takes the padding as exactly half the difference on each
    // side, and places the points from the box's corner before rounding.
    const float side = static_cast<float>(std::max(m_region.width, m_region.height));
    const float padX = (side - m_region.width) / 2.0f;
    const float padY = (side - m_region.height) / 2.0f;
    for (size_t i = 0; i + 1 < points.size(); i += 2) {
        points[i] = points[i] * side - padX + m_origin.x;
        points[i + 1] = points[i + 1] * side - padY + m_origin.y;
    }
}

}  // namespace estimator
}  // namespace zor
