#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace zor {
namespace estimator {

// A generic 3D face: some of the 68 landmarks with their positions, in
// camera axes for a face looking into the camera (x to the image's right,
// y down, z away from the camera).
struct FaceModel3d {
    std::vector<int> landmarks;
    std::vector<cv::Point3f> points;
};

// Head rotation in degrees.
// yaw:   positive when the face turns toward the image's right;
// pitch: positive when the face tilts up;
// roll:  positive when the face tilts clockwise in the image.
struct HeadPose {
    float yaw = 0.0f;
    float pitch = 0.0f;
    float roll = 0.0f;
};

// Solves the pose of `model` seen at the 68 `landmarks` (x, y pairs in
// pixels) by a camera whose focal length is the image width and whose
// principal point is the image centre. False when the solver fails.
// The pose is the head's rotation seen along the line of sight, the ray
// from the camera to the centre of the face: a face that looks straight at
// the camera reads 0, 0, 0 wherever it sits in the image. (Against the
// camera's optical axis, the same face 30 degrees off the axis would read
// 30 degrees turned.)
bool SolveHeadPose(const FaceModel3d& model, const std::vector<float>& landmarks,
                   cv::Size imageSize, HeadPose& pose);

// The rotation that turns the camera's z axis onto the ray toward `target`
// (camera coordinates) by the shortest way; the identity for a target on
// the axis.
cv::Matx33d LineOfSight(const cv::Vec3d& target);

// The angles of a rotation matrix R = Rz(roll) * Ry(-yaw) * Rx(-pitch), in
// camera axes, with the signs of HeadPose.
HeadPose PoseFromRotation(const cv::Matx33d& rotation);

}  // namespace estimator
}  // namespace zor
