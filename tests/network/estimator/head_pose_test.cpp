#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include "facepose/estimator/generic_face.h"
#include "facepose/estimator/head_pose.h"
#include "facepose/estimator/landmark_net.h"
#include "sample_files.h"

namespace {

using zor::estimator::FaceModel3d;
using zor::estimator::HeadPose;

constexpr double kDegree = CV_PI / 180.0;

// A turn by `degrees` about `axis` of the camera (x right, y down, z away).
cv::Matx33d About(const cv::Vec3d& axis, double degrees)
{
    cv::Matx33d turn;
    cv::Rodrigues(axis * (degrees * kDegree), turn);
    return turn;
}

// The 68 landmarks of `face` turned by `turn` (seen along the line of
// sight) with its centre at `centre` (camera coordinates, millimetres),
// projected by the camera the solver assumes for an image of `size`. The
// landmarks the face does not hold stay 0.
std::vector<float> Project(const FaceModel3d& face, const cv::Matx33d& turn, const cv::Vec3d& centre,
                           cv::Size size)
{
    cv::Vec3d middle;
    for (const cv::Point3f& p : face.points) {
        middle += cv::Vec3d(p.x, p.y, p.z) * (1.0 / face.points.size());
    }
    const cv::Matx33d rotation = zor::estimator::LineOfSight(centre) * turn;
    const cv::Vec3d translation = centre - rotation * middle;
    const double focal = size.width;
    std::vector<float> landmarks(136, 0.0f);
    for (size_t i = 0; i < face.points.size(); ++i) {
        const cv::Point3f& p = face.points[i];
        const cv::Vec3d q = rotation * cv::Vec3d(p.x, p.y, p.z) + translation;
        landmarks[2 * face.landmarks[i]] = static_cast<float>(focal * q[0] / q[2] + size.width / 2.0);
        landmarks[2 * face.landmarks[i] + 1] = static_cast<float>(focal * q[1] / q[2] + size.height / 2.0);
    }
    return landmarks;
}

// Rotations R = Rz(roll) * Ry(-yaw) * Rx(-pitch) seen along the line of
// sight (yaw toward the image's right, pitch up, roll clockwise), for faces
// in the middle and at the corners of the view, through PoseFromRotation
// alone and through the solver.
TEST(HeadPose, KnownRotationsAreRecoveredWhereverTheFaceIs)
{
    const FaceModel3d face = zor::estimator::GenericFace();
    const cv::Size size(800, 600);
    const HeadPose poses[] = {{0, 0, 0}, {35, 0, 0}, {0, 20, 0}, {0, 0, 20}, {-40, 15, 5}, {20, -25, -30},
                              {-10, 20, 40}, {5, 10, 175}, {-30, -10, -100}};
    const cv::Vec3d centres[] = {{0, 0, 700}, {-300, -220, 700}, {320, 240, 650}, {250, -200, 900}};
    for (const HeadPose& expected : poses) {
        const cv::Matx33d turn = About({0, 0, 1}, expected.roll) * About({0, 1, 0}, -expected.yaw) *
                                 About({1, 0, 0}, -expected.pitch);
        const HeadPose direct = zor::estimator::PoseFromRotation(turn);
        EXPECT_NEAR(direct.yaw, expected.yaw, 1e-3);
        EXPECT_NEAR(direct.pitch, expected.pitch, 1e-3);
        EXPECT_NEAR(direct.roll, expected.roll, 1e-3);
        for (const cv::Vec3d& centre : centres) {
            HeadPose pose;
            ASSERT_TRUE(zor::estimator::SolveHeadPose(face, Project(face, turn, centre, size), size, pose));
            const std::string where = cv::format("pose %g %g %g at %g,%g,%g", expected.yaw, expected.pitch,
                                                 expected.roll, centre[0], centre[1], centre[2]);
            EXPECT_NEAR(pose.yaw, expected.yaw, 0.1) << where;
            EXPECT_NEAR(pose.pitch, expected.pitch, 0.1) << where;
            EXPECT_NEAR(pose.roll, expected.roll, 0.1) << where;
        }
    }
}

TEST(GenericFace, IsLeftRightSymmetric)
{
    const FaceModel3d face = zor::estimator::GenericFace();
    ASSERT_EQ(face.landmarks.size(), face.points.size());
    for (size_t i = 0; i < face.landmarks.size(); ++i) {
        const int mirrored = zor::estimator::LandmarkNet::MirroredPoint(face.landmarks[i]);
        const auto j = std::find(face.landmarks.begin(), face.landmarks.end(), mirrored) - face.landmarks.begin();
        ASSERT_LT(static_cast<size_t>(j), face.landmarks.size()) << "no mirror of landmark " << face.landmarks[i];
        const cv::Point3f& p = face.points[i];
        EXPECT_EQ(cv::Point3f(-p.x, p.y, p.z), face.points[j]) << "landmarks " << face.landmarks[i] << ", " << mirrored;
    }
}

// The sample model is converted with the face above: a changed face must
// be converted again (scripts/fetch-pose-model.sh sees the converter's new
// fingerprint) before the estimator's tests mean anything.
TEST(GenericFace, IsTheSampleModelsFace)
{
    const zor::estimator::PoseEstimator* estimator = sample::Estimator();
    ASSERT_NE(estimator, nullptr);
    const FaceModel3d face = zor::estimator::GenericFace();
    EXPECT_EQ(estimator->FaceModel().landmarks, face.landmarks);
    EXPECT_EQ(estimator->FaceModel().points, face.points) << "run scripts/fetch-pose-model.sh BUILD_DIR";
    FaceModel3d moved = face;
    moved.points[3].y += 0.5f;
    EXPECT_NE(zor::estimator::FaceModelFingerprint(moved), zor::estimator::FaceModelFingerprint(face));
}

}  // namespace
