#include "pose_estimator.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>

namespace zor {
namespace estimator {

cv::RotatedRect BoxAdjustment::Apply(const FaceBox& face) const
{
    // The square turns with the eyes (upright when no key points are known).
    const double angle = EyeLineAngle(face);
    const float side = std::max(face.box.width * scale.x, face.box.height * scale.y);
    const cv::Point2f across(static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)));
    const cv::Point2f down(-across.y, across.x);
    const cv::Point2f centre = (face.box.tl() + face.box.br()) * 0.5f +
                               (across * shift.x + down * shift.y) * side;
    return cv::RotatedRect(centre, cv::Size2f(side, side), static_cast<float>(angle * 180.0 / CV_PI));
}

PoseEstimator::PoseEstimator(std::unique_ptr<FaceDetector> detector,
                             std::unique_ptr<LandmarkNet> landmarks,
                             const BoxAdjustment& adjustment, const FaceModel3d& faceModel)
    : m_detector(std::move(detector)),
      m_landmarks(std::move(landmarks)),
      m_adjustment(adjustment),
      m_faceModel(faceModel)
{
}

bool PoseEstimator::FindFace(const cv::Mat& bgr, PoseEstimate& estimate)
{
    return m_detector->Detect(bgr, estimate.face);
}

bool PoseEstimator::FindLandmarks(const cv::Mat& bgr, PoseEstimate& estimate)
{
    estimate.landmarkRegion = m_adjustment.Apply(estimate.face);
    const FaceCrop crop(bgr, estimate.landmarkRegion, LandmarkNet::kInputSize);
    if (crop.Empty()) {
        return false;
    }
    estimate.landmarks = m_landmarks->RunSymmetric(crop.Pixels());
    crop.ToImage(estimate.landmarks);
    return estimate.landmarks.size() == LandmarkNet::kOutputs;
}

bool PoseEstimator::FindPose(cv::Size imageSize, PoseEstimate& estimate) const
{
    return SolveHeadPose(m_faceModel, estimate.landmarks, imageSize, estimate.pose);
}

std::vector<float> PoseEstimator::Run(const cv::Mat& image)
{
    if (image.empty() || image.type() != CV_8UC3) {
        return {};
    }
    PoseEstimate estimate;
    if (!FindFace(image, estimate) || !FindLandmarks(image, estimate)) {
        std::cerr << "No face found in the image." << std::endl;
        return {};
    }
    if (!FindPose(image.size(), estimate)) {
        std::cerr << "The head pose could not be solved from the landmarks." << std::endl;
        return {};
    }
    std::vector<float> result = std::move(estimate.landmarks);
    result.push_back(estimate.pose.yaw / 90.0f);
    result.push_back(estimate.pose.pitch / 90.0f);
    result.push_back(estimate.pose.roll / 90.0f);
    return result;
}

}  // namespace estimator
}  // namespace zor
