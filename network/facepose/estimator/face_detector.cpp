#include "face_detector.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <opencv2/imgproc.hpp>

namespace zor {
namespace estimator {
namespace {

constexpr int kValuesPerRegressor = 16;

void AddGridAnchors(int cells, int perCell, std::vector<cv::Point2f>& anchors)
{
    for (int row = 0; row < cells; ++row) {
        for (int col = 0; col < cells; ++col) {
            const cv::Point2f centre((col + 0.5f) / cells, (row + 0.5f) / cells);
            anchors.insert(anchors.end(), perCell, centre);
        }
    }
}

float Sigmoid(float logit)
{
    return 1.0f / (1.0f + std::exp(-logit));
}

// Flattens an output blob into a vector, whatever its dimensions.
std::vector<float> Flatten(const cv::Mat& blob)
{
    const cv::Mat continuous = blob.isContinuous() ? blob : blob.clone();
    const float* data = continuous.ptr<float>();
    return std::vector<float>(data, data + continuous.total());
}

}  // namespace

const std::vector<cv::Point2f>& FrontModelAnchors()
{
    static const std::vector<cv::Point2f> anchors = [] {
        std::vector<cv::Point2f> all;
        AddGridAnchors(16, 2, all);
        AddGridAnchors(8, 6, all);
        return all;
    }();
    return anchors;
}

std::vector<FaceBox> DecodeDetections(const std::vector<cv::Point2f>& anchors,
                                      const std::vector<float>& scores,
                                      const std::vector<float>& regressors,
                                      float inputSize, float scoreThreshold,
                                      float nmsThreshold)
{
    if (scores.size() != anchors.size() ||
        regressors.size() != anchors.size() * kValuesPerRegressor) {
        return {};
    }
    std::vector<cv::Rect2d> boxes;
    std::vector<float> confidences;
    for (size_t i = 0; i < anchors.size(); ++i) {
        const float score = Sigmoid(scores[i]);
        if (score < scoreThreshold) {
            continue;
        }
        const float* r = &regressors[i * kValuesPerRegressor];
        const double cx = anchors[i].x + r[0] / inputSize;
        const double cy = anchors[i].y + r[1] / inputSize;
        const double w = r[2] / inputSize;
        const double h = r[3] / inputSize;
        boxes.emplace_back(cx - w / 2, cy - h / 2, w, h);
        confidences.push_back(score);
    }
    std::vector<int> kept;
    cv::dnn::NMSBoxes(boxes, confidences, scoreThreshold, nmsThreshold, kept);
    std::sort(kept.begin(), kept.end(),
              [&](int a, int b) { return confidences[a] > confidences[b]; });
    std::vector<FaceBox> faces;
    for (int index : kept) {
        faces.push_back({cv::Rect2f(boxes[index]), confidences[index]});
    }
    return faces;
}

FaceDetector::FaceDetector(cv::dnn::Net net, const Settings& settings)
    : m_net(std::move(net)), m_settings(settings), m_outputNames(m_net.getUnconnectedOutLayersNames())
{
}

std::unique_ptr<FaceDetector> FaceDetector::FromOnnx(const std::vector<uchar>& onnx,
                                                     const Settings& settings,
                                                     std::string& error)
{
    if (onnx.empty()) {
        error = "the detector graph is empty";
        return nullptr;
    }
    cv::dnn::Net net;
    try {
        net = cv::dnn::readNetFromONNX(onnx);
    } catch (const cv::Exception& e) {
        error = "the detector graph does not load";
        return nullptr;
    }
    if (net.empty()) {
        error = "the detector graph does not load";
        return nullptr;
    }
    std::unique_ptr<FaceDetector> detector(new FaceDetector(std::move(net), settings));
    // Two score outputs (16x16 and 8x8 grids) and their two regressor outputs.
    if (detector->m_outputNames.size() != 4) {
        error = "the detector graph does not have four outputs";
        return nullptr;
    }
    return detector;
}

bool FaceDetector::Detect(const cv::Mat& bgr, FaceBox& face)
{
    // Pad to a centred square so that the box maps back with one scale.
    const int side = std::max(bgr.cols, bgr.rows);
    const int left = (side - bgr.cols) / 2;
    const int top = (side - bgr.rows) / 2;
    cv::Mat square;
    cv::copyMakeBorder(bgr, square, top, side - bgr.rows - top, left, side - bgr.cols - left,
                       cv::BORDER_CONSTANT | cv::BORDER_ISOLATED, cv::Scalar::all(0));
    const int size = m_settings.inputSize;
    cv::Mat small;
    cv::resize(square, small, cv::Size(size, size), 0, 0, cv::INTER_AREA);
    cv::cvtColor(small, small, cv::COLOR_BGR2RGB);

    // The graph takes NHWC input in [-1, 1]: an HxWx3 float image is that
    // layout already.
    const int shape[] = {1, size, size, 3};
    cv::Mat blob(4, shape, CV_32F);
    small.convertTo(cv::Mat(size, size, CV_32FC3, blob.ptr<float>()), CV_32F, 1.0 / 127.5, -1.0);
    m_net.setInput(blob);
    std::vector<cv::Mat> outputs;
    m_net.forward(outputs, m_outputNames);

    // The fine grid's scores and regressors come first, then the coarse
    // grid's; the outputs are told apart by their sizes.
    const size_t fine = 16 * 16 * 2;
    const size_t coarse = 8 * 8 * 6;
    std::vector<float> scores;
    std::vector<float> regressors;
    for (size_t count : {fine, coarse}) {
        for (const cv::Mat& output : outputs) {
            if (output.total() == count) {
                const std::vector<float> values = Flatten(output);
                scores.insert(scores.end(), values.begin(), values.end());
            } else if (output.total() == count * kValuesPerRegressor) {
                const std::vector<float> values = Flatten(output);
                regressors.insert(regressors.end(), values.begin(), values.end());
            }
        }
    }

    const std::vector<FaceBox> faces =
        DecodeDetections(FrontModelAnchors(), scores, regressors, static_cast<float>(size),
                         m_settings.scoreThreshold, m_settings.nmsThreshold);
    if (faces.empty()) {
        return false;
    }
    const cv::Rect2f& unit = faces.front().box;
    face.score = faces.front().score;
    face.box = cv::Rect2f(unit.x * side - left, unit.y * side - top, unit.width * side,
                          unit.height * side);
    return true;
}

}  // namespace estimator
}  // namespace zor
