#include "second_looks.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "facepose/estimator/face_crop.h"
#include "facepose/estimator/head_pose.h"

namespace zor {
namespace bench {
namespace {

using estimator::PoseEstimate;
using estimator::PoseEstimator;

// The nose tip among the 68 landmarks.
constexpr int kNoseTip = 30;

cv::Point2f Centroid(const std::vector<float>& landmarks)
{
    cv::Point2f sum(0.0f, 0.0f);
    for (size_t i = 0; i + 1 < landmarks.size(); i += 2) {
        sum += cv::Point2f(landmarks[i], landmarks[i + 1]);
    }
    return sum * (2.0f / static_cast<float>(landmarks.size()));
}

cv::Point2f Turn(const cv::Point2f& p, double degrees)
{
    const double a = degrees * CV_PI / 180.0;
    return cv::Point2f(static_cast<float>(p.x * std::cos(a) - p.y * std::sin(a)),
                       static_cast<float>(p.x * std::sin(a) + p.y * std::cos(a)));
}

}  // namespace

CropRule LearnCropRule(const PoseEstimate& frontal)
{
    const cv::RotatedRect& region = frontal.landmarkRegion;
    const cv::Point2f d = region.center - Centroid(frontal.landmarks);
    return {Turn(d, -region.angle) / region.size.width};
}

bool SecondLook(PoseEstimator& estimator, const cv::Mat& image, const CropRule& rule,
                const PoseEstimate& first, PoseEstimate& second)
{
    second = first;
    const float side = first.landmarkRegion.size.width;
    const double angle = first.pose.roll;
    const cv::Point2f centre = Centroid(first.landmarks) + Turn(rule.offset * side, angle);
    second.landmarkRegion = cv::RotatedRect(centre, cv::Size2f(side, side), static_cast<float>(angle));
    const zor::estimator::FaceCrop crop(image, second.landmarkRegion, zor::estimator::LandmarkNet::kInputSize);
    if (crop.Empty()) {
        return false;
    }
    second.landmarks = estimator.Landmarks().RunSymmetric(crop.Pixels());
    crop.ToImage(second.landmarks);
    return second.landmarks.size() == static_cast<size_t>(zor::estimator::LandmarkNet::kOutputs) &&
           estimator.FindPose(image.size(), second);
}

bool FrontalisedLook(PoseEstimator& estimator, const cv::Mat& image, const Camera& camera, double frontalDistance,
                     double frontalSide, const PoseEstimate& first, PoseEstimate& turned)
{
    // The pose is seen along the line of sight to the face's centre: in
    // camera axes it is turned by the ray through the centroid of the 3D
    // face's landmarks.
    cv::Point2f centre(0.0f, 0.0f);
    const std::vector<int>& modelLandmarks = estimator.FaceModel().landmarks;
    for (int i : modelLandmarks) {
        centre += cv::Point2f(first.landmarks[2 * i], first.landmarks[2 * i + 1]);
    }
    centre *= 1.0f / static_cast<float>(std::max<size_t>(modelLandmarks.size(), 1));
    const cv::Vec3d ray((centre.x - camera.principal.x) / camera.focal, (centre.y - camera.principal.y) / camera.focal,
                        1.0);
    const cv::Matx33d rotation =
        estimator::LineOfSight(ray) * HeadRotation(first.pose.yaw, first.pose.pitch, first.pose.roll);
    const cv::Point2f nose(first.landmarks[2 * kNoseTip], first.landmarks[2 * kNoseTip + 1]);
    const double distance = frontalDistance * frontalSide / first.landmarkRegion.size.width;
    const cv::Point3d translation((nose.x - camera.principal.x) / camera.focal * distance,
                                  (nose.y - camera.principal.y) / camera.focal * distance, distance);
    std::vector<cv::Point3d> seen, frontal;
    for (const cv::Point3d corner : {cv::Point3d(-5, -5, 3), cv::Point3d(5, -5, 3), cv::Point3d(5, 5, 3),
                                     cv::Point3d(-5, 5, 3)}) {
        seen.push_back(rotation * corner + translation);
        frontal.push_back(corner + translation);
    }
    const cv::Mat toFrontal =
        cv::getPerspectiveTransform(Project(seen, camera), Project(frontal, camera));
    // Pixel centres sit half a pixel from the continuous coordinates.
    const cv::Matx33d half(1, 0, 0.5, 0, 1, 0.5, 0, 0, 1);
    const cv::Matx33d toFrontalIndex = half.inv() * cv::Matx33d(toFrontal) * half;
    cv::Mat warped;
    cv::warpPerspective(image, warped, toFrontalIndex, image.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                        cv::Scalar::all(128));
    turned = PoseEstimate();
    if (!estimator.FindFace(warped, turned) || !estimator.FindLandmarks(warped, turned)) {
        return false;
    }
    std::vector<cv::Point2f> points;
    for (size_t i = 0; i + 1 < turned.landmarks.size(); i += 2) {
        points.emplace_back(turned.landmarks[i], turned.landmarks[i + 1]);
    }
    cv::perspectiveTransform(points, points, cv::Matx33d(toFrontal).inv());
    for (size_t i = 0; i < points.size(); ++i) {
        turned.landmarks[2 * i] = points[i].x;
        turned.landmarks[2 * i + 1] = points[i].y;
    }
    return estimator.FindPose(image.size(), turned);
}

}  // namespace bench
}  // namespace zor
