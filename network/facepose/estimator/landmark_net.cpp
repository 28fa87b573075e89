#include "landmark_net.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace zor {
namespace estimator {
namespace {

// Feature maps are (side*side) x channels matrices of floats, pixel by pixel.

// The two inner loops below take nearly all of the net's time. Where the
// compiler can, it builds them twice, for processors with AVX2 and FMA and
// for any other, and picks one when the program starts: measured twice as
// fast as the plain SSE2 build on this machine's processor.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__) && defined(__linux__)
#define ZOR_VECTOR_CLONES __attribute__((target_clones("arch=haswell", "default")))
#else
#define ZOR_VECTOR_CLONES
#endif

// TensorFlow's "same" padding: the output side and the padding before the
// first pixel for a 3x3 kernel.
int SameOutputSide(int side, int stride)
{
    return (side + stride - 1) / stride;
}

int SamePaddingBefore(int side, int stride)
{
    const int out = SameOutputSide(side, stride);
    return std::max((out - 1) * stride + 3 - side, 0) / 2;
}

// The 3x3 neighbourhood of each output pixel laid out as one row, so that a
// full 3x3 convolution becomes a 1x1 one.
cv::Mat Neighbourhoods(const cv::Mat& input, int side, int stride)
{
    const int channels = input.cols;
    const int out = SameOutputSide(side, stride);
    const int pad = SamePaddingBefore(side, stride);
    cv::Mat patches = cv::Mat::zeros(out * out, 9 * channels, CV_32F);
    for (int oy = 0; oy < out; ++oy) {
        for (int ox = 0; ox < out; ++ox) {
            float* row = patches.ptr<float>(oy * out + ox);
            for (int ky = 0; ky < 3; ++ky) {
                const int y = oy * stride + ky - pad;
                for (int kx = 0; kx < 3; ++kx) {
                    const int x = ox * stride + kx - pad;
                    if (y < 0 || y >= side || x < 0 || x >= side) {
                        continue;
                    }
                    const float* pixel = input.ptr<float>(y * side + x);
                    std::copy(pixel, pixel + channels, row + (ky * 3 + kx) * channels);
                }
            }
        }
    }
    return patches;
}

ZOR_VECTOR_CLONES
cv::Mat Depthwise3x3(const cv::Mat& input, int side, int stride, const cv::Mat& filter)
{
    const int channels = input.cols;
    const int out = SameOutputSide(side, stride);
    const int pad = SamePaddingBefore(side, stride);
    cv::Mat result = cv::Mat::zeros(out * out, channels, CV_32F);
    for (int oy = 0; oy < out; ++oy) {
        for (int ox = 0; ox < out; ++ox) {
            float* dst = result.ptr<float>(oy * out + ox);
            for (int ky = 0; ky < 3; ++ky) {
                const int y = oy * stride + ky - pad;
                if (y < 0 || y >= side) {
                    continue;
                }
                for (int kx = 0; kx < 3; ++kx) {
                    const int x = ox * stride + kx - pad;
                    if (x < 0 || x >= side) {
                        continue;
                    }
                    const float* src = input.ptr<float>(y * side + x);
                    const float* w = filter.ptr<float>(ky * 3 + kx);
                    for (int c = 0; c < channels; ++c) {
                        dst[c] += src[c] * w[c];
                    }
                }
            }
        }
    }
    return result;
}

// A 1x1 convolution plus bias: out = in * weights + bias, pixel by pixel.
ZOR_VECTOR_CLONES
cv::Mat Pointwise(const cv::Mat& input, const cv::Mat& weights, const cv::Mat& bias)
{
    const int inputs = weights.rows;
    const int outputs = weights.cols;
    cv::Mat result(input.rows, outputs, CV_32F);
    const float* b = bias.ptr<float>();
    for (int r = 0; r < input.rows; ++r) {
        const float* in = input.ptr<float>(r);
        float* out = result.ptr<float>(r);
        std::copy(b, b + outputs, out);
        for (int i = 0; i < inputs; ++i) {
            const float value = in[i];
            const float* w = weights.ptr<float>(i);
            for (int o = 0; o < outputs; ++o) {
                out[o] += value * w[o];
            }
        }
    }
    return result;
}

cv::Mat Relu(const cv::Mat& map)
{
    return cv::max(map, 0.0f);
}

// Looks a tensor up and checks its shape; reshapes its values to
// rows x (total / rows).
bool TakeTensor(const TensorMap& tensors, const std::string& name, const std::vector<int>& shape,
                int rows, cv::Mat& out, std::string& error)
{
    const auto found = tensors.find(name);
    if (found == tensors.end()) {
        error = "the landmark network has no tensor \"" + name + "\"";
        return false;
    }
    int total = 1;
    for (int dim : shape) {
        total *= dim;
    }
    const Tensor& tensor = found->second;
    if (tensor.shape != shape || tensor.values.type() != CV_32F ||
        static_cast<int>(tensor.values.total()) != total) {
        error = "the landmark network's tensor \"" + name + "\" has the wrong shape";
        return false;
    }
    out = tensor.values.reshape(1, 1).clone().reshape(1, rows);
    return true;
}

}  // namespace

std::unique_ptr<LandmarkNet> LandmarkNet::FromTensors(const TensorMap& tensors,
                                                      const cv::Scalar& meanRgb,
                                                      std::string& error)
{
    std::unique_ptr<LandmarkNet> net(new LandmarkNet());
    net->m_meanRgb = meanRgb;
    const int widths[4] = {32, 64, 128, 256};
    int inputs = 3;
    for (int b = 0; b < 4; ++b) {
        const int outputs = widths[b];
        for (int c = 0; c < 4; ++c) {
            const std::string prefix = "dense" + std::to_string(b) + "/conv" + std::to_string(c) + "/";
            Conv& conv = net->m_blocks[b].conv[c];
            bool ok = TakeTensor(tensors, prefix + "bias", {outputs}, 1, conv.bias, error);
            if (b == 0 && c == 0) {
                ok = ok && TakeTensor(tensors, prefix + "filters", {3, 3, inputs, outputs},
                                      9 * inputs, conv.pointwise, error);
            } else {
                ok = ok && TakeTensor(tensors, prefix + "depthwise_filter", {3, 3, inputs, 1}, 9,
                                      conv.depthwise, error);
                ok = ok && TakeTensor(tensors, prefix + "pointwise_filter", {1, 1, inputs, outputs},
                                      inputs, conv.pointwise, error);
            }
            if (!ok) {
                return nullptr;
            }
            inputs = outputs;
        }
    }
    if (!TakeTensor(tensors, "fc/weights", {256, kOutputs}, 256, net->m_fcWeights, error) ||
        !TakeTensor(tensors, "fc/bias", {kOutputs}, 1, net->m_fcBias, error)) {
        return nullptr;
    }
    return net;
}

cv::Mat LandmarkNet::RunBlock(const DenseBlock& block, const cv::Mat& input, int& side) const
{
    const auto conv = [](const Conv& c, const cv::Mat& map, int mapSide, int stride) {
        const cv::Mat spread = c.depthwise.empty() ? Neighbourhoods(map, mapSide, stride)
                                                   : Depthwise3x3(map, mapSide, stride, c.depthwise);
        return Pointwise(spread, c.pointwise, c.bias);
    };
    // Each convolution sees the sum of all earlier outputs of the block.
    const cv::Mat out1 = Relu(conv(block.conv[0], input, side, 2));
    side = SameOutputSide(side, 2);
    cv::Mat sum = out1.clone();
    for (int c = 1; c < 4; ++c) {
        const cv::Mat in = c == 1 ? out1 : Relu(sum);
        sum += conv(block.conv[c], in, side, 1);
    }
    return Relu(sum);
}

std::vector<float> LandmarkNet::Run(const cv::Mat& crop) const
{
    if (crop.rows != kInputSize || crop.cols != kInputSize || crop.type() != CV_8UC3) {
        return {};
    }
    cv::Mat rgb;
    cv::cvtColor(crop, rgb, cv::COLOR_BGR2RGB);
    cv::Mat normalized;
    rgb.convertTo(normalized, CV_32FC3);
    normalized = (normalized - m_meanRgb) / 255.0;

    int side = kInputSize;
    cv::Mat map = normalized.reshape(1, side * side);
    for (const DenseBlock& block : m_blocks) {
        map = RunBlock(block, map, side);
    }
    cv::Mat pooled;
    cv::reduce(map, pooled, 0, cv::REDUCE_AVG);
    cv::Mat output;
    cv::gemm(pooled, m_fcWeights, 1.0, m_fcBias, 1.0, output);
    return std::vector<float>(output.begin<float>(), output.end<float>());
}

int LandmarkNet::MirroredPoint(int i)
{
    // The 68-point scheme: jaw 0-16, brows 17-26, nose 27-35, eyes 36-47,
    // mouth 48-67; points on the middle line map to themselves.
    static const int pairs[][2] = {
        {0, 16}, {1, 15}, {2, 14}, {3, 13}, {4, 12}, {5, 11}, {6, 10}, {7, 9},
        {17, 26}, {18, 25}, {19, 24}, {20, 23}, {21, 22}, {31, 35}, {32, 34},
        {36, 45}, {37, 44}, {38, 43}, {39, 42}, {40, 47}, {41, 46}, {48, 54}, {49, 53},
        {50, 52}, {55, 59}, {56, 58}, {60, 64}, {61, 63}, {65, 67}};
    for (const auto& pair : pairs) {
        if (pair[0] == i) {
            return pair[1];
        }
        if (pair[1] == i) {
            return pair[0];
        }
    }
    return i;
}

std::vector<float> LandmarkNet::RunSymmetric(const cv::Mat& crop) const
{
    std::vector<float> points = Run(crop);
    if (points.size() != kOutputs) {
        return {};
    }
    cv::Mat mirrored;
    cv::flip(crop, mirrored, 1);
    const std::vector<float> other = Run(mirrored);
    for (int i = 0; i < kOutputs / 2; ++i) {
        const int j = MirroredPoint(i);
        points[2 * j] = (points[2 * j] + 1.0f - other[2 * i]) / 2.0f;
        points[2 * j + 1] = (points[2 * j + 1] + other[2 * i + 1]) / 2.0f;
    }
    return points;
}

}  // namespace estimator
}  // namespace zor
