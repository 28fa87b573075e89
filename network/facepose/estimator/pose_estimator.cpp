#include "pose_estimator.h"

#include <iostream>
#include <utility>

namespace zor {
namespace estimator {

cv::Rect2f BoxAdjustment::Apply(const cv::Rect2f& box) const
{
    const float width = box.width * scale.x;
    const float height = box.height * scale.y;
    const float cx = box.x + box.width * (0.5f + shift.x);
    const float cy = box.y + box.height * (0.5f + shift.y);
    return cv::Rect2f(cx - width / 2, cy - height / 2, width, height);
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

bool PoseEstimator::FindLandmarks(const cv::Mat& bgr, PoseEstimate& estimate) const
{
    const FaceCrop crop(bgr, m_adjustment.Apply(estimate.face.box), LandmarkNet::kInputSize);
    if (crop.Empty()) {
        return false;
    }
    estimate.landmarkRegion = crop.Region();
    estimate.landmarks = m_landmarks->Run(crop.Pixels());
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
