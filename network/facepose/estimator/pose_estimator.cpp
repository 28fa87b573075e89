#include "pose_estimator.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <optional>
#include <utility>

#include <opencv2/imgproc.hpp>

namespace zor {
namespace estimator {
namespace {

// The mean of the landmarks `first` to `last`.
cv::Point2f MeanPoint(const std::vector<float>& landmarks, int first, int last)
{
    cv::Point2f sum;
    for (int i = first; i <= last; ++i) {
        sum += cv::Point2f(landmarks[2 * i], landmarks[2 * i + 1]);
    }
    return sum / static_cast<float>(last - first + 1);
}

// The largest distance between one of the detector's eyes, nose tip and
// mouth centre and the same point of the landmarks, in pixels.
float KeypointDistance(const FaceBox& face, const std::vector<float>& landmarks)
{
    // The eye on the image's left is landmarks 36 to 41, the other 42 to 47,
    // the nose tip 30, the mouth's inner lips 60 to 67.
    const cv::Point2f fromLandmarks[] = {MeanPoint(landmarks, 36, 41), MeanPoint(landmarks, 42, 47),
                                         MeanPoint(landmarks, 30, 30), MeanPoint(landmarks, 60, 67)};
    float largest = 0.0f;
    for (int k = 0; k < 4; ++k) {
        largest = std::max(largest, static_cast<float>(cv::norm(face.keypoints[k] - fromLandmarks[k])));
    }
    return largest;
}

// Limits of PoseEstimator::Plausible, in sides of the landmark crop. On
// the faces that give the right pose (the sample photos, turned by 90
// degrees, placed in larger canvases, overexposed) the points of the crop
// and of its mirror image lie at most 0.07 apart on average and the
// detector's key points at most 0.08 from the landmarks (a face of 19
// pixels turned by 45 degrees reaches 0.08 and 0.146); on the faces found
// in the photos turned upside down, overexposed or both, and in a texture,
// 0.08 to 0.23 and 0.10 to 0.40, never both under 0.10 and 0.15.
constexpr float kMaxMirrorDisagreement = 0.1f;
constexpr float kMaxKeypointDistance = 0.15f;

// A crop enlarged `upscale` times (more than 1) is sharpened by an unsharp
// mask of weight kSharpenWeight * (upscale - 1) and a Gaussian of
// kSharpenSigma * upscale crop pixels.
constexpr double kSharpenWeight = 1.0;
constexpr double kSharpenSigma = 1.0;

// A small face enlarged to the landmark network's input is blurred, and
// the network reads a blurred face's pitch lower: the astronaut 70 pixels
// wide read 2.7 degrees lower than at full size, 1.5 sharpened. Sharpening
// as much as the crop was enlarged brings it back near the full size's.
cv::Mat SharpenedForUpscale(const cv::Mat& crop, double upscale)
{
    if (!(upscale > 1.0)) {
        return crop;
    }
    const double weight = kSharpenWeight * (upscale - 1.0);
    cv::Mat blurred;
    cv::GaussianBlur(crop, blurred, cv::Size(), kSharpenSigma * upscale);
    cv::Mat sharpened;
    cv::addWeighted(crop, 1.0 + weight, blurred, -weight, 0.0, sharpened);
    return sharpened;
}

// A plausible face this confident is taken without looking at the image
// turned (another way).
constexpr float kConfidentScore = 0.75f;

// Below this, the best score of the survey (FaceDetector::Survey) of an
// image in which the first look saw nothing says there is no face. The
// faces the later looks find score more: the sample photos scaled to faces
// 24 pixels wide anywhere in a 640x480 frame, black or grey, 0.20 and more
// (30 pixels: 0.32); flat grey images score 0.04 to 0.08 (noise 0.37, the
// grass below the camera man 0.20: those are searched further).
constexpr float kNoFaceScore = 0.15f;

// After a survey, a turned look is taken only when the survey's look at the
// image turned that way (without the mirror image) scored this much: the
// turned look finds a face only at 0.5 and keeps it only at 0.75. Noise
// scores 0.19 to 0.29 there, the photos overexposed and upside down 0.18
// to 0.65.
constexpr float kTurnedLookScore = 0.3f;

}  // namespace

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

bool PoseEstimator::Plausible(const PoseEstimate& estimate)
{
    return estimate.mirrorDisagreement < kMaxMirrorDisagreement &&
           estimate.keypointDistance < kMaxKeypointDistance;
}

bool PoseEstimator::FindPlausibleFace(const cv::Mat& bgr, PoseEstimate& estimate)
{
    // The whole image, or its parts when it shows no face at all.
    std::optional<ImageSurvey> survey;
    bool seen = m_detector->Detect(bgr, estimate.face, false);
    if (!seen) {
        // An image in which no anchor of the whole, turned or tiled looks
        // comes near a face ends here, before the dearer looks.
        survey = m_detector->Survey(bgr);
        if (survey->BestScore() < kNoFaceScore) {
            return false;
        }
        seen = m_detector->LookInParts(bgr, estimate.face, &*survey);
    }
    bool found = seen && FindLandmarks(bgr, estimate) && Plausible(estimate);
    if (found && estimate.face.score >= kConfidentScore) {
        return true;
    }
    // A face on its side or upside down whose eyes the detector does not
    // find, or an upside-down face it takes for an upright one: it knows
    // upright faces only, so it looks at the image turned (its crops turn;
    // the image is not copied), upside down first. Shown an upright face
    // turned on its side, it may see a face lying across it, less than
    // confidently (0.59 to 0.71 on the astronaut overexposed, moved by a
    // few pixels or darkened), whose landmarks can pass the check; the
    // sample photos' faces turned by 90 or 180 degrees are seen at 0.83 or
    // more. So a turned look counts only with a confident face, and the
    // first plausible one ends the search.
    for (const float turn : {180.0f, 90.0f, -90.0f}) {
        if (survey && survey->TurnScore(turn) < kTurnedLookScore) {
            continue;
        }
        PoseEstimate candidate;
        if (m_detector->Detect(bgr, candidate.face, false, turn) && candidate.face.score >= kConfidentScore &&
            FindLandmarks(bgr, candidate) && Plausible(candidate)) {
            estimate = std::move(candidate);
            return true;
        }
    }
    // The parts were looked at already when the first look saw nothing.
    if (found || survey) {
        return found;
    }
    // A small face beside something the whole image's look took for one.
    // Confident, as from the turned looks: on the overexposed photos moved
    // or brightened, the parts show faces whose landmarks pass the check
    // but read another pose.
    PoseEstimate candidate;
    if (m_detector->LookInParts(bgr, candidate.face) && candidate.face.score >= kConfidentScore &&
        FindLandmarks(bgr, candidate) && Plausible(candidate)) {
        estimate = std::move(candidate);
        return true;
    }
    return false;
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
    const cv::Mat pixels =
        SharpenedForUpscale(crop.Pixels(), LandmarkNet::kInputSize / estimate.landmarkRegion.size.width);
    estimate.landmarks = m_landmarks->RunSymmetric(pixels, &estimate.mirrorDisagreement);
    crop.ToImage(estimate.landmarks);
    if (estimate.landmarks.size() != LandmarkNet::kOutputs) {
        return false;
    }
    estimate.keypointDistance = KeypointDistance(estimate.face, estimate.landmarks) /
                                estimate.landmarkRegion.size.width;
    return true;
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
    if (!FindPlausibleFace(image, estimate)) {
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
