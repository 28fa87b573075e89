#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "sample_files.h"

namespace {

// The astronaut is installed without the colour profile it ships with, which
// libpng warns about on every read: it reads quietly, to the same pixels.
TEST(SamplePhotos, AstronautReadsQuietlyToTheShippedPixels)
{
    testing::internal::CaptureStderr();
    const cv::Mat installed = cv::imread(sample::PhotoPath("astronaut"), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const std::string shippedPath = std::string(ZOR_SHIPPED_PHOTO_DIR) + "/astronaut.png";
    const cv::Mat shipped = cv::imread(shippedPath, cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(installed.empty()) << "no " << sample::PhotoPath("astronaut")
                                    << "; run scripts/fetch-pose-model.sh BUILD_DIR";
    ASSERT_FALSE(shipped.empty()) << "no " << shippedPath << "; run scripts/fetch-pose-model.sh BUILD_DIR";
    ASSERT_EQ(installed.size(), shipped.size());
    ASSERT_EQ(installed.type(), shipped.type());
    EXPECT_EQ(cv::norm(installed, shipped, cv::NORM_INF), 0.0);
}

}  // namespace
