#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sample_files.h"

namespace {

using zor::estimator::PoseModelContent;
using zor::estimator::QuantizedTensor;

// A model whose detector is the sample's and whose landmark network holds
// only the first tensor, `q` bytes long: enough to reach the checks.
PoseModelContent SmallModel(size_t q)
{
    PoseModelContent content;
    cv::FileStorage sample(sample::ModelPath(), cv::FileStorage::READ);
    cv::Mat onnx;
    if (sample.isOpened()) {
        cv::read(sample["detector"]["onnx"], onnx);
    }
    EXPECT_FALSE(onnx.empty()) << "run scripts/fetch-pose-model.sh BUILD_DIR";
    content.detectorOnnx.assign(onnx.datastart, onnx.dataend);
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

std::string WriteAndRead(const PoseModelContent& content)
{
    const std::string path = testing::TempDir() + "/small.nmodel";
    std::string error;
    EXPECT_TRUE(zor::estimator::WritePoseModel(path, content, error)) << error;
    cv::FileStorage storage(path, cv::FileStorage::READ);
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
    const Case cases[] = {
        {"a tensor shorter than its shape", SmallModel(863), "has 863 values, its shape needs 864"},
        {"a missing tensor", SmallModel(864), "has no tensor \"dense0/conv0/bias\""},
        {"a detector that is not ONNX", noDetector, "the detector graph does not load"},
        {"a face model without enough points", shortFaceModel, "the \"face_model\" section is incomplete"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(WriteAndRead(c.content).find(c.error), std::string::npos) << c.what;
    }
}

}  // namespace
