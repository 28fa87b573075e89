#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

namespace zor {
namespace estimator {

// One detected face: its box and the detector's confidence in [0, 1].
struct FaceBox {
    cv::Rect2f box;
    float score = 0.0f;
};

// The anchor centres of BlazeFace's front-camera model, in [0, 1] of its
// square input: a 16x16 grid with 2 anchors per cell, then an 8x8 grid with
// 6 anchors per cell (896 in all), row by row, anchors of a cell together.
const std::vector<cv::Point2f>& FrontModelAnchors();

// Turns the raw outputs of the detector into faces, most confident first,
// after non-maximum suppression. `scores` holds one logit per anchor,
// `regressors` 16 values per anchor (box centre offset, width, height, then
// six key points), in pixels of the `inputSize` square input. Boxes come out
// in [0, 1] of that input.
std::vector<FaceBox> DecodeDetections(const std::vector<cv::Point2f>& anchors,
                                      const std::vector<float>& scores,
                                      const std::vector<float>& regressors,
                                      float inputSize, float scoreThreshold,
                                      float nmsThreshold);

// BlazeFace run through OpenCV's dnn module.
class FaceDetector {
public:
    struct Settings {
        int inputSize = 128;
        float scoreThreshold = 0.5f;
        float nmsThreshold = 0.3f;
    };

    // Loads the ONNX graph from memory; null with `error` set on a problem.
    static std::unique_ptr<FaceDetector> FromOnnx(const std::vector<uchar>& onnx,
                                                  const Settings& settings,
                                                  std::string& error);

    // The most confident face of an 8-bit BGR image, in image pixels.
    // False when there is none.
    bool Detect(const cv::Mat& bgr, FaceBox& face);

private:
    FaceDetector(cv::dnn::Net net, const Settings& settings);

    cv::dnn::Net m_net;
    Settings m_settings;
    std::vector<cv::String> m_outputNames;
};

}  // namespace estimator
}  // namespace zor
