#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "facepose/estimator/base64_node.h"
#include "sample_files.h"
#include "scratch_dir.h"

namespace {

using zor::estimator::PoseModelContent;
using zor::estimator::QuantizedTensor;

// A model whose detector is the sample's and whose landmark network holds
// only the first tensor, `q` bytes long: enough to reach the checks.
PoseModelContent SmallModel(size_t q)
{
    PoseModelContent content;
    cv::FileStorage sample(sample::ModelPath(), cv::FileStorage::READ);
    if (sample.isOpened()) {
        zor::estimator::ReadBase64(sample["detector"]["onnx"], content.detectorOnnx);
    }
    EXPECT_FALSE(content.detectorOnnx.empty()) << "run scripts/fetch-pose-model.sh BUILD_DIR";
    QuantizedTensor tensor;
    tensor.name = "dense0/conv0/filters";
    tensor.shape = {3, 3, 3, 32};
    tensor.min = -1.0;
    tensor.scale = 0.01;
    tensor.q.assign(q, 7);
    content.landmarkTensors.push_back(tensor);
    content.meanRgb = cv::Scalar(1, 2, 3);
    content.faceModel.landmarks = {30, 8, 36, 45};
    content.faceModel.points = {{0, 0, 0}, {0, 70, 20}, {-45, -37, 40}, {45, -37, 40}};
    return content;
}

// Files of this test program, apart from those of tests running beside it.
const test_support::ScratchDir& Scratch()
{
    static const test_support::ScratchDir dir;
    return dir;
}

std::string TempModelPath()
{
    return Scratch().Path("small.nmodel");
}

// Writes the content, changes the first `from` of its text to `to` (when
// given), and gives the error reading it back; it must not load.
std::string WriteAndRead(const PoseModelContent& content, const std::string& from = "", const std::string& to = "")
{
    std::string error, writeError;
    EXPECT_TRUE(zor::estimator::WritePoseModel(TempModelPath(), content, writeError)) << writeError;
    if (!from.empty()) {
        std::ifstream in(TempModelPath(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) {
            text.replace(at, from.size(), to);
        }
        std::ofstream(TempModelPath(), std::ios::binary) << text;
    }
    cv::FileStorage storage(TempModelPath(), cv::FileStorage::READ);
    EXPECT_TRUE(storage.isOpened());
    EXPECT_EQ(storage["kind"].string(), "landmark_pose");
    EXPECT_EQ(zor::estimator::ReadPoseModel(storage.root(), error), nullptr);
    return error;
}

TEST(PoseModelFile, EachPartIsCheckedBeforeUse)
{
    struct Case {
        const char* what;
        PoseModelContent content;
        const char* error;
    };
    PoseModelContent noDetector = SmallModel(864);
    noDetector.detectorOnnx.assign(1000, 0x42);
    PoseModelContent shortFaceModel = SmallModel(864);
    shortFaceModel.faceModel.points.pop_back();
    PoseModelContent shortSecondTensor = SmallModel(864);
    QuantizedTensor bias = shortSecondTensor.landmarkTensors.front();
    bias.name = "dense0/conv0/bias";
    bias.shape = {32};
    bias.q.assign(31, 7);
    shortSecondTensor.landmarkTensors.push_back(bias);
    PoseModelContent landmark68 = SmallModel(864);
    landmark68.faceModel.landmarks.back() = 68;
    const std::string q = "   q:\n      - ";
    const Case cases[] = {
        {"a tensor shorter than its shape", SmallModel(863), "needs 864 values, 863 are left"},
        {"a second tensor shorter than its shape", shortSecondTensor,
         "\"dense0/conv0/bias\" needs 32 values, 31 are left"},
        {"values left over after the tensors", SmallModel(865), "need 864 values, there are 865"},
        {"a missing tensor", SmallModel(864), "has no tensor \"dense0/conv0/bias\""},
        {"a detector that is not ONNX", noDetector, "the detector graph does not load"},
        {"a face model without enough points", shortFaceModel, "the \"face_model\" section is incomplete"},
        {"a face model naming landmark 68", landmark68, "names a landmark that does not exist"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(WriteAndRead(c.content).find(c.error), std::string::npos) << c.what;
    }
    // Edits of the written text: the format, a landmark value outside base64's alphabet.
    const struct {
        std::string from, to;
        const char* error;
    } edits[] = {{"format: 2", "format: 1", "is not format 2"},
                 {"format: 2", "formats: 2", "is not format 2"},
                 {q, q + "*", "not well-formed base64"}};
    for (const auto& e : edits) {
        EXPECT_NE(WriteAndRead(SmallModel(864), e.from, e.to).find(e.error), std::string::npos) << e.to;
    }
}

TEST(Base64, RoundTripsAndRejectsMalformedText)
{
    std::vector<uchar> bytes;
    for (int i = 0; i < 300; ++i) {
        bytes.push_back(static_cast<uchar>(i * 37 + 11));
    }
    for (size_t size : {0u, 1u, 2u, 3u, 4u, 299u, 300u}) {
        const std::string text = zor::estimator::EncodeBase64(bytes.data(), size);
        EXPECT_EQ(text.size(), (size + 2) / 3 * 4);
        std::vector<uchar> back;
        ASSERT_TRUE(zor::estimator::DecodeBase64(text, back)) << size;
        EXPECT_EQ(back, std::vector<uchar>(bytes.begin(), bytes.begin() + size)) << size;
    }
    EXPECT_EQ(zor::estimator::EncodeBase64(reinterpret_cast<const uchar*>("Man"), 3), "TWFu");
    EXPECT_EQ(zor::estimator::EncodeBase64(reinterpret_cast<const uchar*>("Ma"), 2), "TWE=");
    std::vector<uchar> out;
    for (const char* bad : {"TWF", "TW=u", "TWE=TWFu", "T*Fu", "TWF\n", "===="}) {
        EXPECT_FALSE(zor::estimator::DecodeBase64(bad, out)) << bad;
    }
    // Through a document: several lines, read back whole.
    const std::string path = Scratch().Path("base64.yml");
    {
        std::vector<uchar> big(5000);
        for (size_t i = 0; i < big.size(); ++i) {
            big[i] = static_cast<uchar>(i % 251);
        }
        cv::FileStorage storage(path, cv::FileStorage::WRITE);
        zor::estimator::WriteBase64(storage, "blob", big);
        storage << "number" << 3;
        storage.release();
        cv::FileStorage read(path, cv::FileStorage::READ);
        EXPECT_GT(read["blob"].size(), 1u);
        std::vector<uchar> back;
        EXPECT_TRUE(zor::estimator::ReadBase64(read["blob"], back));
        EXPECT_EQ(back, big);
        EXPECT_FALSE(zor::estimator::ReadBase64(read["number"], back));
        EXPECT_FALSE(zor::estimator::ReadBase64(read["missing"], back));
    }
}

}  // namespace
