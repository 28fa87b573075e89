#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "network/facepose.h"
#include "scratch_dir.h"

namespace {

const std::string kModel =
    std::string(ZOR_SAMPLE_DIR) + "/pose-model/light_rpoly_lmp_iter_75000_w_scale.nmodel";

std::vector<float> DetectOnce(const std::string& model, const cv::Mat& image, std::string& err)
{
    testing::internal::CaptureStderr();
    std::vector<std::vector<float>> results;
    {
        zor::vision::Facepose net(model, nullptr);
        net.Detect({image}, results);
    }
    err = testing::internal::GetCapturedStderr();
    return results.size() == 1 ? results[0] : std::vector<float>(1, -1.0f);
}

// The library takes what the driver never gives it (it reads images in
// colour): four channels, one, and 16 bits per channel.
TEST(FaceposeWithPoseModel, OtherPixelFormatsGiveTheSamePose)
{
    const cv::Mat bgr = cv::imread(std::string(ZOR_SAMPLE_DIR) + "/photos/astronaut.png");
    ASSERT_FALSE(bgr.empty()) << "run scripts/fetch-pose-model.sh BUILD_DIR";
    cv::Mat bgra, grey, greyBgr, deep;
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(grey, greyBgr, cv::COLOR_GRAY2BGR);
    bgr.convertTo(deep, CV_16U, 257.0);
    const struct {
        const char* what;
        cv::Mat image;
        cv::Mat same;  // the 8-bit BGR image it stands for
    } cases[] = {{"BGRA", bgra, bgr}, {"grey", grey, greyBgr}, {"16-bit", deep, bgr}};
    for (const auto& c : cases) {
        std::string err;
        const std::vector<float> expected = DetectOnce(kModel, c.same, err);
        const std::vector<float> result = DetectOnce(kModel, c.image, err);
        ASSERT_EQ(expected.size(), 139u) << c.what;
        ASSERT_EQ(result.size(), 139u) << c.what << ": " << err;
        for (int i = 136; i < 139; ++i) {
            EXPECT_NEAR(result[i] * 90.0f, expected[i] * 90.0f, 0.5f) << c.what << ", value " << i;
        }
    }
}

// A damaged model file: one line on standard error, an empty result, no crash.
TEST(FaceposeWithPoseModel, DamagedModelFilesAreReportedOnOneLine)
{
    std::ifstream in(kModel, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(text.size(), 100000u) << "run scripts/fetch-pose-model.sh BUILD_DIR";
    const size_t payload = text.find("onnx:");
    ASSERT_NE(payload, std::string::npos);
    std::string garbled = text;
    for (size_t i = payload + 2000; i < payload + 6000; i += 7) {
        garbled[i] = garbled[i] == 'A' ? 'B' : 'A';
    }
    std::string noFaceModel = text.substr(0, text.rfind("face_model:"));
    const struct {
        const char* what;
        std::string content;
    } cases[] = {
        {"cut at a tenth", text.substr(0, text.size() / 10)},
        {"cut in the landmark tensors", text.substr(0, text.size() * 9 / 10)},
        {"cut before the face model", noFaceModel},
        {"garbled detector bytes", garbled},
    };
    const cv::Mat image(64, 64, CV_8UC3, cv::Scalar::all(100));
    const test_support::ScratchDir scratch;
    for (const auto& c : cases) {
        const std::string path = scratch.Path("damaged.nmodel");
        std::ofstream(path, std::ios::binary) << c.content;
        std::string err;
        EXPECT_TRUE(DetectOnce(path, image, err).empty()) << c.what;
        EXPECT_EQ(err.rfind("zor_facepose: cannot load model file " + path + ": ", 0), 0u)
            << c.what << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.what << ": " << err;
    }
}

}  // namespace
