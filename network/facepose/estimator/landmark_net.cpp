#include "landmark_net.h"

#include <cmath>
#include <utility>

#include <opencv2/imgproc.hpp>

namespace zor {
namespace estimator {
namespace {

// Looks a tensor up and checks its shape; its values as one row.
bool TakeTensor(const TensorMap& tensors, const std::string& name, const std::vector<int>& shape,
                cv::Mat& out, std::string& error)
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
    out = tensor.values.reshape(1, 1).clone();
    return true;
}

// TensorFlow keeps a convolution's filters as height x width x inputs x
// outputs, OpenCV as outputs x inputs x height x width. A depthwise
// filter (height x width x channels x 1) becomes channels x 1 x height x
// width.
cv::Mat FiltersForOpenCv(const cv::Mat& tf, int side, int inputs, int outputs, bool depthwise)
{
    const int shape[] = {depthwise ? inputs : outputs, depthwise ? 1 : inputs, side, side};
    cv::Mat filters(4, shape, CV_32F);
    const float* from = tf.ptr<float>();
    float* to = filters.ptr<float>();
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            for (int i = 0; i < inputs; ++i) {
                for (int o = 0; o < outputs; ++o) {
                    const int channel = depthwise ? i : o;
                    const int input = depthwise ? 0 : i;
                    to[((channel * shape[1] + input) * side + y) * side + x] =
                        from[((y * side + x) * inputs + i) * outputs + o];
                }
            }
        }
    }
    return filters;
}

// Builds the net layer by layer; each Add returns the new layer's id, the
// net's input being layer 0.
class NetBuilder {
public:
    explicit NetBuilder(cv::dnn::Net& net) : m_net(net) {}

    int Add(const std::string& type, cv::dnn::LayerParams params, const std::vector<int>& inputs)
    {
        params.type = type;
        params.name = type + std::to_string(++m_count);
        const int id = m_net.addLayer(params.name, type, params);
        for (size_t i = 0; i < inputs.size(); ++i) {
            m_net.connect(inputs[i], 0, id, static_cast<int>(i));
        }
        return id;
    }

    // A 3x3 convolution with TensorFlow's "same" padding (for stride 2 on
    // an even side: none before, one pixel after). Without `bias` it has
    // none.
    int Conv3x3(int input, const cv::Mat& filters, const cv::Mat& bias, int stride, int group)
    {
        cv::dnn::LayerParams params;
        params.set("kernel_size", 3);
        params.set("stride", stride);
        params.set("pad_mode", "SAME");
        params.set("num_output", filters.size[0]);
        params.set("group", group);
        params.set("bias_term", !bias.empty());
        params.blobs.push_back(filters);
        if (!bias.empty()) {
            params.blobs.push_back(bias);
        }
        return Add("Convolution", params, {input});
    }

    int Conv1x1(int input, const cv::Mat& filters, const cv::Mat& bias)
    {
        cv::dnn::LayerParams params;
        params.set("kernel_size", 1);
        params.set("num_output", filters.size[0]);
        params.set("bias_term", true);
        params.blobs = {filters, bias};
        return Add("Convolution", params, {input});
    }

    int Relu(int input) { return Add("ReLU", cv::dnn::LayerParams(), {input}); }

    int Sum(const std::vector<int>& inputs)
    {
        cv::dnn::LayerParams params;
        params.set("operation", "sum");
        return Add("Eltwise", params, inputs);
    }

private:
    cv::dnn::Net& m_net;
    int m_count = 0;
};

// One convolution of a dense block: block 0's first is a plain 3x3
// convolution, every other one a depthwise 3x3 then a pointwise 1x1
// convolution with a bias, after `layer`, which becomes the last layer
// added. False with `error` set when a tensor is missing or wrong.
bool AddConv(NetBuilder& builder, const TensorMap& tensors, const std::string& prefix, int inputs,
             int outputs, int stride, int& layer, std::string& error)
{
    cv::Mat bias;
    if (!TakeTensor(tensors, prefix + "bias", {outputs}, bias, error)) {
        return false;
    }
    cv::Mat tf;
    if (inputs == 3) {
        if (!TakeTensor(tensors, prefix + "filters", {3, 3, inputs, outputs}, tf, error)) {
            return false;
        }
        layer = builder.Conv3x3(layer, FiltersForOpenCv(tf, 3, inputs, outputs, false), bias, stride, 1);
        return true;
    }
    cv::Mat pointwise;
    if (!TakeTensor(tensors, prefix + "depthwise_filter", {3, 3, inputs, 1}, tf, error) ||
        !TakeTensor(tensors, prefix + "pointwise_filter", {1, 1, inputs, outputs}, pointwise, error)) {
        return false;
    }
    layer = builder.Conv3x3(layer, FiltersForOpenCv(tf, 3, inputs, 1, true), cv::Mat(), stride, inputs);
    layer = builder.Conv1x1(layer, FiltersForOpenCv(pointwise, 1, inputs, outputs, false), bias);
    return true;
}

}  // namespace

LandmarkNet::LandmarkNet(cv::dnn::Net net, const cv::Scalar& meanRgb)
    : m_net(std::move(net)), m_meanRgb(meanRgb)
{
}

std::unique_ptr<LandmarkNet> LandmarkNet::FromTensors(const TensorMap& tensors,
                                                      const cv::Scalar& meanRgb,
                                                      std::string& error)
{
    cv::dnn::Net net;
    try {
        NetBuilder builder(net);
        const int widths[4] = {32, 64, 128, 256};
        int inputs = 3;
        int layer = 0;
        for (int b = 0; b < 4; ++b) {
            // Each convolution of a block sees the sum of all earlier
            // outputs of the block; the first halves the side.
            const std::string block = "dense" + std::to_string(b) + "/conv";
            std::vector<int> outputs;
            for (int c = 0; c < 4; ++c) {
                int in = layer;
                if (c > 1) {
                    in = builder.Relu(builder.Sum(outputs));
                } else if (c == 1) {
                    in = outputs.front();
                }
                if (!AddConv(builder, tensors, block + std::to_string(c) + "/", c == 0 ? inputs : widths[b],
                             widths[b], c == 0 ? 2 : 1, in, error)) {
                    return nullptr;
                }
                outputs.push_back(c == 0 ? builder.Relu(in) : in);
            }
            layer = builder.Relu(builder.Sum(outputs));
            inputs = widths[b];
        }
        cv::dnn::LayerParams pool;
        pool.set("pool", "ave");
        pool.set("global_pooling", true);
        layer = builder.Add("Pooling", pool, {layer});

        cv::Mat weights;
        cv::Mat bias;
        if (!TakeTensor(tensors, "fc/weights", {256, kOutputs}, weights, error) ||
            !TakeTensor(tensors, "fc/bias", {kOutputs}, bias, error)) {
            return nullptr;
        }
        cv::dnn::LayerParams fc;
        fc.set("num_output", kOutputs);
        fc.set("bias_term", true);
        fc.set("axis", 1);
        fc.blobs = {cv::Mat(weights.reshape(1, 256).t()), bias};
        builder.Add("InnerProduct", fc, {layer});
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    } catch (const cv::Exception& e) {
        error = "the landmark network cannot be built: " + e.err;
        return nullptr;
    }
    return std::unique_ptr<LandmarkNet>(new LandmarkNet(std::move(net), meanRgb));
}

cv::Mat LandmarkNet::RunBatch(const std::vector<cv::Mat>& crops)
{
    for (const cv::Mat& crop : crops) {
        if (crop.rows != kInputSize || crop.cols != kInputSize || crop.type() != CV_8UC3) {
            return cv::Mat();
        }
    }
    // RGB, the mean subtracted, divided by 255, as the net was trained.
    const cv::Mat blob = cv::dnn::blobFromImages(crops, 1.0 / 255.0, cv::Size(), m_meanRgb, true, false);
    m_net.setInput(blob);
    const cv::Mat output = m_net.forward();
    if (output.total() != crops.size() * kOutputs) {
        return cv::Mat();
    }
    return output.reshape(1, static_cast<int>(crops.size())).clone();
}

std::vector<float> LandmarkNet::Run(const cv::Mat& crop)
{
    const cv::Mat points = RunBatch({crop});
    if (points.empty()) {
        return {};
    }
    return std::vector<float>(points.ptr<float>(), points.ptr<float>() + kOutputs);
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

std::vector<float> LandmarkNet::RunSymmetric(const cv::Mat& crop, float* disagreement)
{
    // The crop and its mirror image in one batch.
    cv::Mat mirrored;
    cv::flip(crop, mirrored, 1);
    const cv::Mat both = RunBatch({crop, mirrored});
    if (both.empty()) {
        return {};
    }
    const float* direct = both.ptr<float>(0);
    const float* other = both.ptr<float>(1);
    std::vector<float> points(kOutputs);
    double apart = 0.0;
    for (int i = 0; i < kOutputs / 2; ++i) {
        const int j = MirroredPoint(i);
        points[2 * j] = (direct[2 * j] + 1.0f - other[2 * i]) / 2.0f;
        points[2 * j + 1] = (direct[2 * j + 1] + other[2 * i + 1]) / 2.0f;
        apart += std::hypot(direct[2 * j] - (1.0f - other[2 * i]), direct[2 * j + 1] - other[2 * i + 1]);
    }
    if (disagreement != nullptr) {
        *disagreement = static_cast<float>(apart / (kOutputs / 2));
    }
    return points;
}

}  // namespace estimator
}  // namespace zor
