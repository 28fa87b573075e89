#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

namespace zor {
namespace estimator {

// One detected face: its box, its six key points and the detector's
// confidence in [0, 1]. The box is upright in a frame turned by `angle`
// degrees (clockwise in the image) about the box's centre. The key points,
// in the detector's order: the eye on the image's left, the other eye, the
// nose tip, the mouth centre, then the two ear tragions (left, right in the
// image).
struct FaceBox {
    static constexpr int kKeypoints = 6;
    cv::Rect2f box;
    float angle = 0.0f;
    std::array<cv::Point2f, kKeypoints> keypoints{};
    float score = 0.0f;
};

// The anchor centres of BlazeFace's front-camera model, in [0, 1] of its
// square input: a 16x16 grid with 2 anchors per cell, then an 8x8 grid with
// 6 anchors per cell (896 in all), row by row, anchors of a cell together.
const std::vector<cv::Point2f>& FrontModelAnchors();

// Turns the raw outputs of the detector into faces, most confident first.
// `scores` holds one logit per anchor, `regressors` 16 values per anchor
// (box centre offset, width, height, then six key point offsets), in pixels
// of the `inputSize` square input. Boxes and key points come out in [0, 1]
// of that input. Overlapping candidates (intersection over union above
// `nmsThreshold`) are merged into one face, their boxes and key points
// averaged with their scores as weights, the way MediaPipe merges
// BlazeFace's detections: one anchor's regression alone jitters by several
// pixels.
std::vector<FaceBox> DecodeDetections(const std::vector<cv::Point2f>& anchors,
                                      const std::vector<float>& scores,
                                      const std::vector<float>& regressors,
                                      float inputSize, float scoreThreshold,
                                      float nmsThreshold);

// The angle of the line from the first eye to the second, in radians,
// clockwise in the image; 0 when the two coincide (no key points known).
double EyeLineAngle(const FaceBox& face);

// The face as seen in the image mirrored left to right, for an image
// `width` wide: the box and key points mirrored, the paired key points
// swapped.
FaceBox MirroredFace(const FaceBox& face, float width);

// The squares an image `size` is looked at in parts: of `tileSide` times
// its longer side, overlapping by half, row by row, the first touching the
// top left corner and the last the bottom right one.
std::vector<cv::RotatedRect> TileSquares(cv::Size size, float tileSide);

// What one run of the detector, without the mirror image, shows in a
// square of an image.
struct SquareLook {
    cv::RotatedRect square;
    // The highest confidence of any anchor, below the threshold too.
    float bestScore = 0.0f;
    // The most confident face at least the threshold confident, in image
    // pixels; false when there is none.
    bool found = false;
    FaceBox face;
};

// The cheap first look at an image (FaceDetector::Survey): the whole image
// turned by 0, 180, 90 and -90 degrees, then the coarser tiles of
// FaceDetector::LookInParts, each looked at once.
struct ImageSurvey {
    static constexpr float kTurns[4] = {0.0f, 180.0f, 90.0f, -90.0f};
    std::array<SquareLook, 4> turns;  // in the order of kTurns
    std::vector<SquareLook> tiles;

    // The highest anchor confidence of them all.
    float BestScore() const;
    // The highest anchor confidence of the whole image turned by `turn`
    // (one of kTurns; 0 for any other).
    float TurnScore(float turn) const;
};

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
    // False when there is none. The net runs twice on the whole image
    // (scaled to its input) and on its mirror image, side by side on two
    // threads, then the same way on a square twice the face's size around
    // it, turned so that the eyes are level, twice or until the eyes stay
    // level (LookUpright): its boxes of a tilted face are smaller than of
    // the same face upright (85 against 63 pixels for the camera man's face
    // turned by 15 degrees), and the landmarks follow the box. A face
    // nearly upright costs these six runs; a face turned far from upright
    // up to four more looks.
    // When the first look finds no face and `lookCloser` is set, the image
    // is looked at in parts (LookInParts). Throws when a net run fails.
    // With `turn`, the first look sees the image turned counter-clockwise
    // by that many degrees, so that a face turned clockwise by them stands
    // upright (the second look follows the face's eyes anyway).
    bool Detect(const cv::Mat& bgr, FaceBox& face, bool lookCloser = true, float turn = 0.0f);

    // The most confident face of overlapping parts of the image, each
    // looked at larger and once (without its mirror image), then looked
    // at again upright as by Detect: faces down to about 4% of the
    // image's longer side. The coarser tiles come first; the finer ones
    // only when those show no face. A survey of the image, when given,
    // stands for the look at the coarser tiles. False when there is none.
    bool LookInParts(const cv::Mat& bgr, FaceBox& face, const ImageSurvey* survey = nullptr);

    // A cheap first test of whether the image holds a face at all and
    // where to look (ImageSurvey): the net runs once on each square,
    // without mirror images, the two copies of the net side by side.
    // Throws when the net fails.
    ImageSurvey Survey(const cv::Mat& bgr);

private:
    FaceDetector(std::array<cv::dnn::Net, 2> nets, const Settings& settings);
    // The most confident face of the net's RGB input, in [0, 1] of it, by
    // copy `copy` of the net. False when there is none; throws when the
    // net fails. `bestScore`, when given, receives the highest confidence
    // of any anchor.
    bool DetectInInput(int copy, const cv::Mat& input, FaceBox& face, float* bestScore = nullptr);
    // Runs copy `copy` of the net on its RGB input; its raw outputs.
    const std::vector<cv::Mat>& RunNet(int copy, const cv::Mat& input);
    // The same, averaged with the face found in the mirrored input; the
    // two run side by side, one on each copy of the net. Throws when either
    // run fails.
    bool DetectSymmetric(const cv::Mat& input, FaceBox& face);
    // The most confident face in the square `region` of the image, scaled
    // to the net's input, in image pixels. False when there is none.
    bool LookAt(const cv::Mat& bgr, const cv::RotatedRect& region, FaceBox& face);
    // Each square of the image looked at once, without its mirror image,
    // the squares shared out between the two copies of the net.
    std::vector<SquareLook> LookOnce(const cv::Mat& bgr, const std::vector<cv::RotatedRect>& squares);
    // Looks again at a square twice the face's size, turned by the face's
    // eyes, and once more by the eyes found there, and on while those turn
    // by 10 degrees or more (six looks at most); `face` becomes the face
    // found last.
    void LookUpright(const cv::Mat& bgr, FaceBox& face);

    // Two copies of the graph, for an image and its mirror image at the
    // same time: a net keeps the state of its run.
    std::array<cv::dnn::Net, 2> m_nets;
    Settings m_settings;
    std::vector<cv::String> m_outputNames;
    std::array<std::vector<cv::Mat>, 2> m_outputs;
};

}  // namespace estimator
}  // namespace zor
