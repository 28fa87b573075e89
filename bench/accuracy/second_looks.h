#pragma once

#include <opencv2/core.hpp>

#include "face_render.h"
#include "facepose/estimator/pose_estimator.h"

namespace zor {
namespace bench {

// Prototypes of a second landmark look after the estimator's first, for the
// accuracy benchmark: each takes the first look's estimate (face, crop,
// landmarks, pose) and gives the second's landmarks and pose.

// Where the first look's crop sits relative to its landmarks on a frontal
// face: the offset of the crop's centre from the landmarks' centroid, in
// fractions of the side along the crop's axes.
struct CropRule {
    cv::Point2f offset;
};

CropRule LearnCropRule(const estimator::PoseEstimate& frontal);

// A crop of the first look's size, centred where `rule` puts it for the
// first look's landmarks and turned by the first look's roll.
bool SecondLook(estimator::PoseEstimator& estimator, const cv::Mat& image, const CropRule& rule,
                const estimator::PoseEstimate& first, estimator::PoseEstimate& second);

// The image warped by the homography that turns the face's plane (a 10 cm
// square 3 cm behind the nose tip, roughly through the eyes and mouth) back
// from the first pose (seen along the line of sight) to the frontal one; the estimator finds the face and
// its landmarks there, and the landmarks are mapped back and solved again.
// The nose tip is taken at its landmark, its distance from the crop's size
// against a frontal face's crop (`frontalSide` pixels at `frontalDistance`
// centimetres).
bool FrontalisedLook(estimator::PoseEstimator& estimator, const cv::Mat& image, const Camera& camera,
                     double frontalDistance, double frontalSide, const estimator::PoseEstimate& first,
                     estimator::PoseEstimate& turned);

}  // namespace bench
}  // namespace zor
