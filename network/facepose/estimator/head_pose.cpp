#include "head_pose.h"

#include <algorithm>
#include <cmath>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace zor {
namespace estimator {
namespace {

// The centre of the model's points.
cv::Vec3d ModelCentre(const FaceModel3d& model)
{
    cv::Vec3d sum;
    for (const cv::Point3f& p : model.points) {
        sum += cv::Vec3d(p.x, p.y, p.z);
    }
    return model.points.empty() ? sum : sum * (1.0 / static_cast<double>(model.points.size()));
}

}  // namespace

cv::Matx33d LineOfSight(const cv::Vec3d& target)
{
    // The shortest turn from the z axis onto the direction of `target`:
    // about the axis z x d by the angle between them.
    const double length = cv::norm(target);
    if (!(length > 0.0)) {
        return cv::Matx33d::eye();
    }
    const cv::Vec3d d = target * (1.0 / length);
    const cv::Vec3d axis(-d[1], d[0], 0.0);
    const double sine = cv::norm(axis);
    if (sine < 1e-12) {
        return d[2] >= 0.0 ? cv::Matx33d::eye() : cv::Matx33d(1, 0, 0, 0, -1, 0, 0, 0, -1);
    }
    const cv::Vec3d rvec = axis * (std::atan2(sine, d[2]) / sine);
    cv::Matx33d turn;
    cv::Rodrigues(rvec, turn);
    return turn;
}

HeadPose PoseFromRotation(const cv::Matx33d& r)
{
    const double toDegrees = 180.0 / CV_PI;
    HeadPose pose;
    // Turning about the camera's y axis (pointing down) moves the face's
    // front toward the image's left, about x (pointing right) downward:
    // both are negated so that yaw is positive to the right, pitch up.
    pose.yaw = static_cast<float>(-std::asin(std::max(-1.0, std::min(1.0, -r(2, 0)))) * toDegrees);
    pose.pitch = static_cast<float>(-std::atan2(r(2, 1), r(2, 2)) * toDegrees);
    pose.roll = static_cast<float>(std::atan2(r(1, 0), r(0, 0)) * toDegrees);
    return pose;
}

bool SolveHeadPose(const FaceModel3d& model, const std::vector<float>& landmarks,
                   cv::Size imageSize, HeadPose& pose)
{
    if (model.landmarks.size() != model.points.size() || model.points.size() < 4 ||
        landmarks.size() != 136) {
        return false;
    }
    std::vector<cv::Point2f> image;
    for (int index : model.landmarks) {
        if (index < 0 || 2 * static_cast<size_t>(index) + 1 >= landmarks.size()) {
            return false;
        }
        image.emplace_back(landmarks[2 * index], landmarks[2 * index + 1]);
    }
    const double focal = imageSize.width;
    const cv::Matx33d camera(focal, 0, imageSize.width / 2.0,
                             0, focal, imageSize.height / 2.0,
                             0, 0, 1);

    // Start from a face looking into the camera, turned in the image's
    // plane as the line through its outer eye corners, at the distance that
    // gives it its apparent width, centred on its landmarks: without this
    // guess the solver may settle on a mirrored pose behind the face, or on
    // a wrong one for a face upside down.
    float modelLeft = model.points.front().x;
    float modelRight = modelLeft;
    for (const cv::Point3f& p : model.points) {
        modelLeft = std::min(modelLeft, p.x);
        modelRight = std::max(modelRight, p.x);
    }
    const cv::Rect2f imageBounds = cv::boundingRect(image);
    if (imageBounds.width <= 0 || modelRight <= modelLeft) {
        return false;
    }
    const double distance = focal * (modelRight - modelLeft) / imageBounds.width;
    const cv::Point2f centre = (imageBounds.tl() + imageBounds.br()) * 0.5f;
    const cv::Point2f eyes = cv::Point2f(landmarks[2 * 45], landmarks[2 * 45 + 1]) -
                             cv::Point2f(landmarks[2 * 36], landmarks[2 * 36 + 1]);
    const double roll = eyes == cv::Point2f() ? 0.0 : std::atan2(eyes.y, eyes.x);
    cv::Mat rvec = (cv::Mat_<double>(3, 1) << 0.0, 0.0, roll);
    cv::Mat tvec = (cv::Mat_<double>(3, 1) << (centre.x - camera(0, 2)) * distance / focal,
                    (centre.y - camera(1, 2)) * distance / focal, distance);
    if (!cv::solvePnP(model.points, image, camera, cv::noArray(), rvec, tvec, true,
                      cv::SOLVEPNP_ITERATIVE)) {
        return false;
    }
    cv::Matx33d rotation;
    cv::Rodrigues(rvec, rotation);
    const cv::Vec3d centreOfFace = rotation * ModelCentre(model) + cv::Vec3d(tvec);
    pose = PoseFromRotation(LineOfSight(centreOfFace).t() * rotation);
    return std::isfinite(pose.yaw) && std::isfinite(pose.pitch) && std::isfinite(pose.roll);
}

}  // namespace estimator
}  // namespace zor
