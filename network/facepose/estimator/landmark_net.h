#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

namespace zor {
namespace estimator {

// A named weight tensor: its shape (TensorFlow order) and its values, one
// row of floats in row-major order.
struct Tensor {
    std::vector<int> shape;
    cv::Mat values;
};
using TensorMap = std::map<std::string, Tensor>;

// face-api's 68-point landmark network: four dense blocks of separable
// convolutions (32, 64, 128, 256 channels, the first convolution of each
// with stride 2), a global average pool and a fully connected layer to the
// x,y pairs of the 68 points in [0, 1] of its square input. It runs as a
// cv::dnn::Net built layer by layer from the weights, which takes a crop
// and its mirror image in one batch: 5 ms for the two on this machine's two
// cores, against 22 ms for our own loops. Running changes the net's state,
// so a LandmarkNet serves one thread at a time.
class LandmarkNet {
public:
    static constexpr int kInputSize = 112;
    static constexpr int kOutputs = 136;

    // Takes the tensors under their TensorFlow names ("dense0/conv0/filters",
    // ..., "fc/bias"); null with `error` set when one is missing or has the
    // wrong shape.
    static std::unique_ptr<LandmarkNet> FromTensors(const TensorMap& tensors,
                                                    const cv::Scalar& meanRgb,
                                                    std::string& error);

    // Runs on a 112x112 8-bit BGR crop; empty for any other input. Throws
    // when the net fails (a failed allocation, say), as do the others.
    std::vector<float> Run(const cv::Mat& crop);

    // The mean of the net's points on the crop and, mirrored back, on the
    // crop mirrored left to right. The net alone is not symmetric: on a
    // mirrored face its points differ from the mirrored points by about two
    // pixels, which turns a pose by several degrees. The mean is symmetric.
    // `disagreement`, when given, receives the mean distance between the
    // two sets of points in [0, 1] of the crop: large when the crop holds
    // no face the net knows.
    std::vector<float> RunSymmetric(const cv::Mat& crop, float* disagreement = nullptr);

    // The number of the point that point `i` becomes when a face is
    // mirrored (the left eye's outer corner becomes the right eye's...).
    static int MirroredPoint(int i);

private:
    LandmarkNet(cv::dnn::Net net, const cv::Scalar& meanRgb);
    // The points of each crop, one row of kOutputs values per crop; empty
    // when a crop is not 112x112 8-bit BGR or the net gives another count.
    cv::Mat RunBatch(const std::vector<cv::Mat>& crops);

    cv::dnn::Net m_net;
    cv::Scalar m_meanRgb;
};

}  // namespace estimator
}  // namespace zor
