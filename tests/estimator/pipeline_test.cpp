#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "sample_files.h"

namespace {

using zor::estimator::PoseEstimate;

PoseEstimate Estimate(const cv::Mat& image)
{
    PoseEstimate estimate;
    zor::estimator::PoseEstimator* estimator = sample::Estimator();
    if (estimator == nullptr || image.empty()) {
        ADD_FAILURE() << "no model or no image";
        return estimate;
    }
    EXPECT_TRUE(estimator->FindFace(image, estimate));
    EXPECT_TRUE(estimator->FindLandmarks(image, estimate));
    EXPECT_TRUE(estimator->FindPose(image.size(), estimate));
    return estimate;
}

double MeanDistance(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != 136 || b.size() != 136) {
        ADD_FAILURE() << "point sets of " << a.size() << " and " << b.size() << " values";
        return 1e9;
    }
    double sum = 0.0;
    for (size_t i = 0; i < 136; i += 2) {
        sum += std::hypot(a[i] - b[i], a[i + 1] - b[i + 1]);
    }
    return sum / 68.0;
}

// Where each of the 68 points goes when the face is mirrored.
int MirroredIndex(int i)
{
    static const int pairs[][2] = {
        {0, 16}, {1, 15}, {2, 14}, {3, 13}, {4, 12}, {5, 11}, {6, 10}, {7, 9},
        {17, 26}, {18, 25}, {19, 24}, {20, 23}, {21, 22}, {31, 35}, {32, 34},
        {36, 45}, {37, 44}, {38, 43}, {39, 42}, {40, 47}, {41, 46}, {48, 54}, {49, 53},
        {50, 52}, {55, 59}, {56, 58}, {60, 64}, {61, 63}, {65, 67}};
    for (const auto& pair : pairs) {
        if (pair[0] == i) return pair[1];
        if (pair[1] == i) return pair[0];
    }
    return i;
}

TEST(Pipeline, AstronautAgreesWithTheJavaScriptPipeline)
{
    const PoseEstimate estimate = Estimate(sample::Photo("astronaut"));
    const std::vector<float> reference =
        sample::ReadPoints(sample::DataPath("astronaut_pipeline_reference.csv"));
    // Different detectors, so not identical crops: a few pixels at most.
    EXPECT_LT(MeanDistance(estimate.landmarks, reference), 3.0);
}

TEST(Pipeline, ResultVectorHoldsPointsThenPoseOverNinety)
{
    const cv::Mat image = sample::Photo("astronaut");
    const PoseEstimate estimate = Estimate(image);
    zor::estimator::PoseEstimator* estimator = sample::Estimator();
    ASSERT_NE(estimator, nullptr);
    const std::vector<float> result = estimator->Run(image);
    ASSERT_EQ(result.size(), 139u);
    EXPECT_LT(MeanDistance(std::vector<float>(result.begin(), result.begin() + 136),
                           estimate.landmarks),
              1e-3);
    EXPECT_NEAR(result[136] * 90.0f, estimate.pose.yaw, 1e-3);
    EXPECT_NEAR(result[137] * 90.0f, estimate.pose.pitch, 1e-3);
    EXPECT_NEAR(result[138] * 90.0f, estimate.pose.roll, 1e-3);
}

// The detector's box as a turned rectangle in the image.
cv::RotatedRect DetectedBox(const PoseEstimate& estimate)
{
    const cv::Rect2f& box = estimate.face.box;
    return cv::RotatedRect((box.tl() + box.br()) * 0.5f, box.size(), estimate.face.angle);
}

class PhotoTest : public testing::TestWithParam<const char*> {};

// The detector and the landmark net each look at the face and at its mirror
// image, so a mirrored photo gives the mirrored points up to rounding, and
// the pose solver, with a symmetric face model, negated yaw and roll.
TEST_P(PhotoTest, MirroringNegatesYawAndRollAndMirrorsThePoints)
{
    const cv::Mat image = sample::Photo(GetParam());
    cv::Mat mirrored;
    cv::flip(image, mirrored, 1);
    const PoseEstimate original = Estimate(image);
    const PoseEstimate flipped = Estimate(mirrored);
    EXPECT_NEAR(flipped.pose.yaw, -original.pose.yaw, 1.0);
    EXPECT_NEAR(flipped.pose.roll, -original.pose.roll, 1.0);
    EXPECT_NEAR(flipped.pose.pitch, original.pose.pitch, 1.0);
    ASSERT_EQ(flipped.landmarks.size(), 136u);
    std::vector<float> back(136);
    for (int i = 0; i < 68; ++i) {
        const int j = MirroredIndex(i);
        back[2 * j] = static_cast<float>(image.cols) - flipped.landmarks[2 * i];
        back[2 * j + 1] = flipped.landmarks[2 * i + 1];
    }
    EXPECT_LT(MeanDistance(back, original.landmarks), 0.5);
}

// The image turned in its plane about the face, both ways. Roll is
// positive clockwise, so a counter-clockwise turn lowers it by the angle.
// Turning about the face rather than the camera's axis also moves the face
// across the view, which the solver sees as about a degree of roll on these
// photos: 3 degrees of tolerance.
TEST_P(PhotoTest, RotatingTheImageChangesRollByTheAngle)
{
    const cv::Mat image = sample::Photo(GetParam());
    const PoseEstimate original = Estimate(image);
    const cv::Point2f centre = DetectedBox(original).center;
    for (const double angle : {15.0, -15.0}) {
        cv::Mat rotated;
        cv::warpAffine(image, rotated, cv::getRotationMatrix2D(centre, angle, 1.0), image.size());
        const PoseEstimate turned = Estimate(rotated);
        EXPECT_NEAR(turned.pose.roll - original.pose.roll, -angle, 3.0) << "turned by " << angle;
    }
}

TEST_P(PhotoTest, LandmarksFallInsideTheDetectedFace)
{
    const PoseEstimate estimate = Estimate(sample::Photo(GetParam()));
    // The detector's box spans brows to chin; the jaw line may reach a
    // little past its sides. Points are taken into the box's turned frame.
    const cv::RotatedRect box = DetectedBox(estimate);
    const double angle = box.angle * CV_PI / 180.0;
    const float half = 0.6f;
    ASSERT_EQ(estimate.landmarks.size(), 136u);
    for (size_t i = 0; i < 136; i += 2) {
        const cv::Point2f d = cv::Point2f(estimate.landmarks[i], estimate.landmarks[i + 1]) - box.center;
        const double across = (d.x * std::cos(angle) + d.y * std::sin(angle)) / box.size.width;
        const double down = (-d.x * std::sin(angle) + d.y * std::cos(angle)) / box.size.height;
        EXPECT_TRUE(std::abs(across) < half && std::abs(down) < half)
            << "point " << i / 2 << " at " << estimate.landmarks[i] << "," << estimate.landmarks[i + 1]
            << " is " << across << ", " << down << " box sides from the box's centre";
    }
}

INSTANTIATE_TEST_SUITE_P(SamplePhotos, PhotoTest, testing::Values("astronaut", "camera"));

TEST(Pipeline, FrontalAstronautAndTurnedCameraMan)
{
    const PoseEstimate astronaut = Estimate(sample::Photo("astronaut"));
    const PoseEstimate cameraMan = Estimate(sample::Photo("camera"));
    EXPECT_LT(std::abs(astronaut.pose.yaw), 10.0f);
    EXPECT_LT(std::abs(astronaut.pose.roll), 10.0f);
    // He looks down into his camera, face turned toward the image's right.
    EXPECT_GT(cameraMan.pose.yaw, 30.0f);
    EXPECT_GT(std::abs(cameraMan.pose.yaw), std::abs(astronaut.pose.yaw) + 20.0f);
}

// The detector runs an image and its mirror image side by side on two
// threads, each on its own copy of the net; on one thread they run one after
// the other. Both ways must find the same face and points.
TEST(Pipeline, SameResultOnOneOpenCvThread)
{
    const cv::Mat image = sample::Photo("camera");
    const PoseEstimate sideBySide = Estimate(image);
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    const PoseEstimate oneThread = Estimate(image);
    cv::setNumThreads(threads);
    EXPECT_NEAR(oneThread.face.box.x, sideBySide.face.box.x, 1e-3);
    EXPECT_NEAR(oneThread.face.box.y, sideBySide.face.box.y, 1e-3);
    EXPECT_NEAR(oneThread.face.box.width, sideBySide.face.box.width, 1e-3);
    EXPECT_NEAR(oneThread.face.angle, sideBySide.face.angle, 1e-3);
    EXPECT_LT(MeanDistance(oneThread.landmarks, sideBySide.landmarks), 1e-3);
    EXPECT_NEAR(oneThread.pose.yaw, sideBySide.pose.yaw, 1e-3);
}

TEST(Pipeline, NoFaceInAFlatImage)
{
    zor::estimator::PoseEstimator* estimator = sample::Estimator();
    ASSERT_NE(estimator, nullptr);
    const cv::Mat grey(300, 400, CV_8UC3, cv::Scalar(128, 128, 128));
    testing::internal::CaptureStderr();
    const std::vector<float> result = estimator->Run(grey);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(err, "No face found in the image.\n");
}

}  // namespace
