#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "facepose/estimator/face_crop.h"
#include "sample_files.h"

namespace {

using zor::estimator::PoseEstimate;

// The net on a fixed 112x112 crop against the figures face-api's own
// JavaScript pipeline gives (see reference/make_reference.js).
TEST(LandmarkNet, MatchesTheJavaScriptNetOnAFixedCrop)
{
    zor::estimator::PoseEstimator* estimator = sample::Estimator();
    ASSERT_NE(estimator, nullptr);
    const cv::Mat crop = cv::imread(sample::DataPath("landmark_input_112.png"), cv::IMREAD_COLOR);
    ASSERT_EQ(crop.size(), cv::Size(112, 112));
    const std::vector<float> reference = sample::ReadPoints(sample::DataPath("landmark_net_reference.csv"));
    ASSERT_EQ(reference.size(), 136u);

    // A box that is the whole square crop: the net sees it unscaled and the
    // points come back as the raw outputs times 112.
    PoseEstimate estimate;
    estimate.face.box = cv::Rect2f(0, 0, 112, 112);
    ASSERT_TRUE(estimator->FindLandmarks(crop, estimate));
    ASSERT_EQ(estimate.landmarks.size(), 136u);
    for (size_t i = 0; i < reference.size(); ++i) {
        EXPECT_NEAR(estimate.landmarks[i] / 112.0f, reference[i], 1e-4) << "output " << i;
    }
}

// TensorFlow's sampling: output x reads the source at x * in / out, so a
// two-pixel row doubled is 0, 50, 100, 100 (half-pixel centres would give
// 0, 25, 75, 100).
TEST(ResizeBilinearTf, SamplesWithoutHalfPixelCentres)
{
    cv::Mat source(1, 2, CV_8UC3);
    source.at<cv::Vec3b>(0, 0) = cv::Vec3b(0, 10, 200);
    source.at<cv::Vec3b>(0, 1) = cv::Vec3b(100, 30, 0);
    const cv::Mat doubled = zor::estimator::ResizeBilinearTf(source, cv::Size(4, 2));
    const int expected[4][3] = {{0, 10, 200}, {50, 20, 100}, {100, 30, 0}, {100, 30, 0}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(doubled.at<cv::Vec3b>(y, x)[c], expected[x][c]) << x << "," << y;
            }
        }
    }
}

TEST(FaceCrop, PadsTheShortSideAndMapsPointsBack)
{
    cv::Mat image(100, 100, CV_8UC3, cv::Scalar(255, 255, 255));
    // A 20 wide, 40 high box: 10 columns of black on each side.
    const zor::estimator::FaceCrop crop(image, cv::Rect2f(30.5f, 20.0f, 20.0f, 40.0f), 40);
    ASSERT_FALSE(crop.Empty());
    EXPECT_EQ(crop.Region(), cv::Rect(30, 20, 20, 40));
    EXPECT_EQ(crop.Pixels().at<cv::Vec3b>(20, 5), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(crop.Pixels().at<cv::Vec3b>(20, 20), cv::Vec3b(255, 255, 255));
    EXPECT_EQ(crop.Pixels().at<cv::Vec3b>(20, 35), cv::Vec3b(0, 0, 0));
    std::vector<float> points = {0.25f, 0.0f, 0.5f, 1.0f};
    crop.ToImage(points);
    EXPECT_FLOAT_EQ(points[0], 30.5f);  // the left edge of the box
    EXPECT_FLOAT_EQ(points[1], 20.0f);
    EXPECT_FLOAT_EQ(points[2], 40.5f);
    EXPECT_FLOAT_EQ(points[3], 60.0f);

    const zor::estimator::FaceCrop outside(image, cv::Rect2f(150, 150, 20, 20), 40);
    EXPECT_TRUE(outside.Empty());
}

}  // namespace
