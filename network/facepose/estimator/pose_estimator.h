#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "core/net_model.h"
#include "face_crop.h"
#include "face_detector.h"
#include "head_pose.h"
#include "landmark_net.h"

namespace zor {
namespace estimator {

// How a detected face becomes the square the landmark network sees: the
// square is turned so that the line through the eyes is level, its side is
// the longer side of the detector's box times `scale`, and its centre is
// the box's centre moved by `shift` (fractions of the side, along the
// turned square's axes).
struct BoxAdjustment {
    cv::Point2f shift{0.0f, 0.0f};
    cv::Point2f scale{1.0f, 1.0f};

    cv::RotatedRect Apply(const FaceBox& face) const;
};

// One stage's results of a run, for tests and timing.
struct PoseEstimate {
    FaceBox face;              // the detector's box, in image pixels
    cv::RotatedRect landmarkRegion;  // the square the landmark network saw
    std::vector<float> landmarks;  // 68 x,y pairs in image pixels
    HeadPose pose;
};

// The "landmark_pose" model kind: face detection, 68 landmarks, then the
// head pose from the landmarks. The result vector holds the 68 landmarks
// (136 values) then yaw, pitch and roll in degrees divided by 90.
class PoseEstimator : public NetModel {
public:
    PoseEstimator(std::unique_ptr<FaceDetector> detector, std::unique_ptr<LandmarkNet> landmarks,
                  const BoxAdjustment& adjustment, const FaceModel3d& faceModel);

    std::vector<float> Run(const cv::Mat& image) override;

    // The stages one by one: the face, its landmarks, its pose. Each is
    // false when it finds nothing usable.
    bool FindFace(const cv::Mat& bgr, PoseEstimate& estimate);
    bool FindLandmarks(const cv::Mat& bgr, PoseEstimate& estimate);
    bool FindPose(cv::Size imageSize, PoseEstimate& estimate) const;

    LandmarkNet& Landmarks() { return *m_landmarks; }

private:
    std::unique_ptr<FaceDetector> m_detector;
    std::unique_ptr<LandmarkNet> m_landmarks;
    BoxAdjustment m_adjustment;
    FaceModel3d m_faceModel;
};

}  // namespace estimator
}  // namespace zor
