#include "annotation.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace zor::test::suite {
namespace {

constexpr size_t kLandmarkValues = 136;
constexpr int kNoseTip = 30;  // landmark at the tip of the nose: where the axes start
constexpr double kDegree = CV_PI / 180.0;

// The face's own axes (right, up, forward toward the camera) in image
// coordinates (x right, y down, z away from the camera), turned by the pose:
// yaw turns the face toward the image's right, pitch tilts it up, roll turns
// it clockwise in the image.
cv::Matx33d PoseAxes(const std::vector<float>& pose)
{
    const double yaw = -pose[0] * kDegree;
    const double pitch = -pose[1] * kDegree;
    const double roll = pose[2] * kDegree;
    const cv::Matx33d about_x(1, 0, 0, 0, std::cos(pitch), -std::sin(pitch), 0, std::sin(pitch), std::cos(pitch));
    const cv::Matx33d about_y(std::cos(yaw), 0, std::sin(yaw), 0, 1, 0, -std::sin(yaw), 0, std::cos(yaw));
    const cv::Matx33d about_z(std::cos(roll), -std::sin(roll), 0, std::sin(roll), std::cos(roll), 0, 0, 0, 1);
    const cv::Matx33d rest(1, 0, 0, 0, -1, 0, 0, 0, -1);  // columns: right, up, forward
    return about_z * about_y * about_x * rest;
}

// Draws the three axes from `origin`, `length` pixels long when they lie in
// the image plane (a parallel projection).
void DrawAxes(cv::Mat& picture, cv::Point2d origin, double length, const std::vector<float>& pose,
              const cv::Scalar (&colours)[3], int thickness, bool arrows)
{
    const cv::Matx33d axes = PoseAxes(pose);
    for (int axis = 0; axis < 3; ++axis) {
        const cv::Point2d end = origin + length * cv::Point2d(axes(0, axis), axes(1, axis));
        if (arrows) {
            cv::arrowedLine(picture, origin, end, colours[axis], thickness, cv::LINE_AA, 0, 0.15);
        } else {
            cv::line(picture, origin, end, colours[axis], thickness, cv::LINE_AA);
        }
    }
}

}  // namespace

cv::Mat Annotate(const cv::Mat& image, const std::vector<float>& landmarks, const std::vector<float>& actual,
                 const std::vector<float>& expected, int side)
{
    const double scale = std::min(1.0, static_cast<double>(side) / std::max(image.cols, image.rows));
    cv::Mat picture;
    if (scale < 1.0) {
        // At least one pixel each way, however thin the image.
        const cv::Size size(std::max(1, static_cast<int>(std::lround(image.cols * scale))),
                            std::max(1, static_cast<int>(std::lround(image.rows * scale))));
        cv::resize(image, picture, size, 0, 0, cv::INTER_AREA);
    } else {
        picture = image.clone();
    }
    if (landmarks.size() < kLandmarkValues || actual.size() != 3) {
        return picture;
    }
    constexpr int thickness = 1;
    std::vector<cv::Point2f> points;
    for (size_t i = 0; i + 1 < kLandmarkValues; i += 2) {
        points.emplace_back(static_cast<float>(landmarks[i] * scale), static_cast<float>(landmarks[i + 1] * scale));
    }
    const cv::Rect box = cv::boundingRect(points);
    cv::rectangle(picture, box, cv::Scalar(0, 220, 0), thickness, cv::LINE_AA);
    for (const cv::Point2f& point : points) {
        cv::circle(picture, point, 2, cv::Scalar(0, 230, 255), cv::FILLED, cv::LINE_AA);
    }
    const cv::Point2d origin(points[kNoseTip]);
    const double length = 0.6 * std::max(box.width, box.height);
    // Blue-green-red in OpenCV's channel order: x red, y green, z blue.
    const cv::Scalar actual_colours[3] = {{0, 0, 255}, {0, 200, 0}, {255, 64, 0}};
    const cv::Scalar expected_colours[3] = {{170, 170, 255}, {170, 255, 170}, {255, 210, 170}};
    if (expected.size() == 3 && expected != actual) {
        DrawAxes(picture, origin, length, expected, expected_colours, thickness, false);
    }
    DrawAxes(picture, origin, length, actual, actual_colours, 2 * thickness, true);
    return picture;
}

}  // namespace zor::test::suite
