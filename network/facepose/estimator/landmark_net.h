#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

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
// x,y pairs of the 68 points in [0, 1] of its square input.
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

    // Runs on a 112x112 8-bit BGR crop; empty for any other input.
    std::vector<float> Run(const cv::Mat& crop) const;

    // The mean of the net's points on the crop and, mirrored back, on the
    // crop mirrored left to right. The net alone is not symmetric: on a
    // mirrored face its points differ from the mirrored points by about two
    // pixels, which turns a pose by several degrees. The mean is symmetric.
    std::vector<float> RunSymmetric(const cv::Mat& crop) const;

    // The number of the point that point `i` becomes when a face is
    // mirrored (the left eye's outer corner becomes the right eye's...).
    static int MirroredPoint(int i);

private:
    // A depthwise 3x3 then pointwise 1x1 convolution with a bias; the first
    // layer of the network is a plain 3x3 convolution, kept in `pointwise`
    // as a (3*3*inputs) x outputs matrix with `depthwise` empty.
    struct Conv {
        cv::Mat depthwise;  // 9 x channels
        cv::Mat pointwise;  // inputs x outputs
        cv::Mat bias;       // 1 x outputs
    };
    struct DenseBlock {
        Conv conv[4];
    };

    LandmarkNet() = default;
    cv::Mat RunBlock(const DenseBlock& block, const cv::Mat& input, int& side) const;

    cv::Scalar m_meanRgb;
    DenseBlock m_blocks[4];
    cv::Mat m_fcWeights;  // 256 x 136
    cv::Mat m_fcBias;     // 1 x 136
};

}  // namespace estimator
}  // namespace zor
