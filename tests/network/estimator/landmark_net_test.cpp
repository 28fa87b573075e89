#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "facepose/estimator/face_crop.h"
#include "sample_files.h"

namespace {

// The net on the fixed crop against the figures face-api's own JavaScript
// pipeline gives (see reference/make_reference.js). The symmetric run: a
// mirrored crop gives exactly the mirrored points, and they lie near the
// single run's (the net is nearly symmetric, so a wrong pairing of points
// would move them).
TEST(LandmarkNet, MatchesTheJavaScriptNetAndItsSymmetricRunMirrorsWithTheCrop)
{
    zor::estimator::PoseEstimator* estimator = sample::Estimator();
    ASSERT_NE(estimator, nullptr);
    zor::estimator::LandmarkNet& net = estimator->Landmarks();
    const cv::Mat crop = cv::imread(sample::DataPath("landmark_input_112.png"), cv::IMREAD_COLOR);
    ASSERT_EQ(crop.size(), cv::Size(112, 112));
    const std::vector<float> reference = sample::ReadPoints(sample::DataPath("landmark_net_reference.csv"));
    ASSERT_EQ(reference.size(), 136u);
    const std::vector<float> single = net.Run(crop);
    ASSERT_EQ(single.size(), 136u);
    for (size_t i = 0; i < reference.size(); ++i) {
        EXPECT_NEAR(single[i], reference[i], 1e-4) << "output " << i;
    }
    cv::Mat mirroredCrop;
    cv::flip(crop, mirroredCrop, 1);
    const std::vector<float> points = net.RunSymmetric(crop);
    const std::vector<float> mirrored = net.RunSymmetric(mirroredCrop);
    ASSERT_EQ(points.size(), 136u);
    ASSERT_EQ(mirrored.size(), 136u);
    for (int i = 0; i < 68; ++i) {
        const int j = zor::estimator::LandmarkNet::MirroredPoint(i);
        EXPECT_NEAR(mirrored[2 * j], 1.0f - points[2 * i], 1e-5) << "point " << i;
        EXPECT_NEAR(mirrored[2 * j + 1], points[2 * i + 1], 1e-5) << "point " << i;
        EXPECT_NEAR(points[2 * i], single[2 * i], 0.03) << "point " << i;
        EXPECT_NEAR(points[2 * i + 1], single[2 * i + 1], 0.03) << "point " << i;
    }
}

// A white image with a red block at x in [60, 70), y in [20, 30).
cv::Mat ImageWithBlock(int side, cv::Rect block)
{
    cv::Mat image(side, side, CV_8UC3, cv::Scalar(255, 255, 255));
    image(block).setTo(cv::Scalar(0, 0, 255));
    return image;
}

TEST(FaceCrop, UprightSquareIsTheImageScaled)
{
    const cv::Mat image = ImageWithBlock(100, cv::Rect(60, 20, 10, 10));
    // The whole image at its own size: the crop is the image.
    const zor::estimator::FaceCrop same(image, cv::RotatedRect({50, 50}, {100, 100}, 0), 100);
    ASSERT_FALSE(same.Empty());
    EXPECT_EQ(cv::norm(same.Pixels(), image, cv::NORM_INF), 0.0);
    // The top right quarter at half size: the block lands at columns
    // [5, 10), rows [10, 15).
    const zor::estimator::FaceCrop half(image, cv::RotatedRect({75, 25}, {50, 50}, 0), 25);
    ASSERT_FALSE(half.Empty());
    EXPECT_EQ(half.Pixels().at<cv::Vec3b>(12, 7), cv::Vec3b(0, 0, 255));
    EXPECT_EQ(half.Pixels().at<cv::Vec3b>(12, 15), cv::Vec3b(255, 255, 255));
    std::vector<float> points = {0.0f, 0.0f, 1.0f, 0.5f};
    half.ToImage(points);
    EXPECT_FLOAT_EQ(points[0], 50.0f);
    EXPECT_FLOAT_EQ(points[1], 0.0f);
    EXPECT_FLOAT_EQ(points[2], 100.0f);
    EXPECT_FLOAT_EQ(points[3], 25.0f);
}

// Turned by 90 degrees clockwise: the crop's x axis runs down the image, so
// crop pixel (i, j) shows image pixel (99 - j, i), and outside is black.
TEST(FaceCrop, TurnedSquareIsRotatedAndPaddedWithBlack)
{
    const cv::Mat image = ImageWithBlock(100, cv::Rect(60, 20, 10, 10));
    const zor::estimator::FaceCrop turned(image, cv::RotatedRect({50, 50}, {100, 100}, 90), 100);
    ASSERT_FALSE(turned.Empty());
    EXPECT_EQ(turned.Pixels().at<cv::Vec3b>(35, 25), cv::Vec3b(0, 0, 255));  // row 35, column 25
    EXPECT_EQ(turned.Pixels().at<cv::Vec3b>(25, 35), cv::Vec3b(255, 255, 255));
    std::vector<float> corner = {0.0f, 0.0f};
    turned.ToImage(corner);
    EXPECT_NEAR(corner[0], 100.0f, 1e-4);
    EXPECT_NEAR(corner[1], 0.0f, 1e-4);

    const zor::estimator::FaceCrop beyond(image, cv::RotatedRect({100, 50}, {100, 100}, 0), 100);
    ASSERT_FALSE(beyond.Empty());
    EXPECT_EQ(beyond.Pixels().at<cv::Vec3b>(50, 75), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(beyond.Pixels().at<cv::Vec3b>(50, 25), cv::Vec3b(255, 255, 255));

    EXPECT_TRUE(zor::estimator::FaceCrop(image, cv::RotatedRect({300, 300}, {50, 50}, 0), 100).Empty());
    EXPECT_TRUE(zor::estimator::FaceCrop(image, cv::RotatedRect({50, 50}, {0, 0}, 0), 100).Empty());
}

// A face four times the crop's size is shrunk by averaging first: a one
// pixel wide line of black, which bilinear sampling alone could miss, shows
// as a quarter grey, and the block stays where it belongs.
TEST(FaceCrop, BigSquareIsAveragedNotSkipped)
{
    cv::Mat image = ImageWithBlock(400, cv::Rect(240, 80, 40, 40));
    image.col(201).setTo(cv::Scalar::all(0));
    const zor::estimator::FaceCrop crop(image, cv::RotatedRect({200, 200}, {400, 400}, 0), 100);
    ASSERT_FALSE(crop.Empty());
    EXPECT_EQ(crop.Pixels().at<cv::Vec3b>(25, 65), cv::Vec3b(0, 0, 255));
    const cv::Vec3b line = crop.Pixels().at<cv::Vec3b>(70, 50);
    EXPECT_NEAR(line[0], 255 * 3 / 4, 2);
    EXPECT_EQ(crop.Pixels().at<cv::Vec3b>(70, 20), cv::Vec3b(255, 255, 255));
}

}  // namespace
