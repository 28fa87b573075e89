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
    // How far the landmark network's points on the crop and on its mirror
    // image lie apart, in sides of the crop.
    float mirrorDisagreement = 0.0f;
    // How far the detector's eyes, nose tip and mouth lie from the same
    // landmarks, the largest of the four, in sides of the crop.
    float keypointDistance = 0.0f;
};

// The "landmark_pose" model kind: face detection, 68 landmarks, then the
// head pose from the landmarks. The result vector holds the 68 landmarks
// (136 values) then yaw, pitch and roll in degrees divided by 90.
class PoseEstimator : public NetModel {
public:
    PoseEstimator(std::unique_ptr<FaceDetector> detector, std::unique_ptr<LandmarkNet> landmarks,
                  const BoxAdjustment& adjustment, const FaceModel3d& faceModel);

    std::vector<float> Run(const cv::Mat& image) override;

    // The face and its landmarks, in the image's frame. The detector looks
    // at the whole image; when that shows no face, a survey
    // (FaceDetector::Survey) whose best score stays below 0.15 says there
    // is none, else the image's parts are looked at. When this gives no
    // face whose landmarks are plausible and at least 0.75 confident, the
    // image turned by 180, 90 and 270 degrees is searched, in that order
    // (after a survey, only the turns it scored 0.3 or more), up to the
    // first plausible face at least 0.75 confident; else a plausible
    // upright one less confident is kept; then, when the parts were not
    // looked at yet and nothing was found, they are. False when there is
    // none.
    bool FindPlausibleFace(const cv::Mat& bgr, PoseEstimate& estimate);

    // Whether the landmarks look like a face the network knows: the points
    // on the crop and on its mirror image agree, and the detector's eyes,
    // nose and mouth lie near the same landmarks. On the sample photos
    // turned upside down or overexposed, the faces that give a wrong pose
    // fail it.
    static bool Plausible(const PoseEstimate& estimate);

    // The stages one by one, upright only: the face, its landmarks, its
    // pose. Each is false when it finds nothing usable.
    bool FindFace(const cv::Mat& bgr, PoseEstimate& estimate);
    bool FindLandmarks(const cv::Mat& bgr, PoseEstimate& estimate);
    bool FindPose(cv::Size imageSize, PoseEstimate& estimate) const;

    FaceDetector& Detector() { return *m_detector; }
    LandmarkNet& Landmarks() { return *m_landmarks; }
    const FaceModel3d& FaceModel() const { return m_faceModel; }

private:
    std::unique_ptr<FaceDetector> m_detector;
    std::unique_ptr<LandmarkNet> m_landmarks;
    BoxAdjustment m_adjustment;
    FaceModel3d m_faceModel;
};

}  // namespace estimator
}  // namespace zor
