#include "face_detector.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "face_crop.h"
#include "side_by_side.h"

namespace zor {
namespace estimator {
namespace {

constexpr int kValuesPerRegressor = 16;

// The side of the second look's square, in sides of the first box: the face
// fills half of it, as in the front camera's pictures the net was made for.
constexpr float kUprightWindow = 2.0f;
// The looks upright go on while the eyes a look finds lie this many degrees
// or more from the square it looked at, up to kMostUprightLooks looks. The
// sample photos upright settle within 2.5 degrees at the second look; the
// astronaut turned by 135 degrees needs three or four.
constexpr double kSettledEyeTurn = 10.0;
constexpr int kMostUprightLooks = 6;

// The look at parts of the image sees tiles whose side is this fraction of
// the image's longer side, overlapping by half, and keeps the most
// confident face of those at least kTileScore.
constexpr float kTileSide = 0.4f;
// Where those show no face either, smaller tiles: a face then fills 1.6
// times as much of the net's input (on a plain background the coarser
// tiles miss a face whose box is 56 pixels of 640). Faces 24 pixels wide
// anywhere in a 640x480 frame score 0.78 or more in them (0.5 to 0.8 at
// 20 pixels); tiles of 0.2 would find those too, at 63 runs of the net on
// a 640x480 image against 35.
constexpr float kFineTileSide = 0.25f;
constexpr float kTileScore = 0.6f;

void AddGridAnchors(int cells, int perCell, std::vector<cv::Point2f>& anchors)
{
    for (int row = 0; row < cells; ++row) {
        for (int col = 0; col < cells; ++col) {
            const cv::Point2f centre((col + 0.5f) / cells, (row + 0.5f) / cells);
            anchors.insert(anchors.end(), perCell, centre);
        }
    }
}

float IntersectionOverUnion(const cv::Rect2f& a, const cv::Rect2f& b)
{
    const float overlap = (a & b).area();
    const float combined = a.area() + b.area() - overlap;
    return combined > 0.0f ? overlap / combined : 0.0f;
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
        regressors.size() != anchors.size() * kValuesPerRegressor || inputSize <= 0.0f) {
        return {};
    }
    std::vector<FaceBox> candidates;
    for (size_t i = 0; i < anchors.size(); ++i) {
        const float score = Sigmoid(scores[i]);
        if (!(score >= scoreThreshold)) {
            continue;
        }
        const float* r = &regressors[i * kValuesPerRegressor];
        FaceBox face;
        face.score = score;
        const float cx = anchors[i].x + r[0] / inputSize;
        const float cy = anchors[i].y + r[1] / inputSize;
        const float w = r[2] / inputSize;
        const float h = r[3] / inputSize;
        face.box = cv::Rect2f(cx - w / 2, cy - h / 2, w, h);
        for (int k = 0; k < FaceBox::kKeypoints; ++k) {
            face.keypoints[k] = anchors[i] + cv::Point2f(r[4 + 2 * k], r[5 + 2 * k]) / inputSize;
        }
        candidates.push_back(face);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const FaceBox& a, const FaceBox& b) { return a.score > b.score; });
    std::vector<FaceBox> faces;
    std::vector<bool> merged(candidates.size(), false);
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (merged[i]) {
            continue;
        }
        // The most confident candidate left, blended with all that overlap it.
        double weight = 0.0;
        double box[4] = {0.0, 0.0, 0.0, 0.0};
        std::array<cv::Point2d, FaceBox::kKeypoints> keypoints{};
        for (size_t j = i; j < candidates.size(); ++j) {
            if (merged[j] || IntersectionOverUnion(candidates[i].box, candidates[j].box) <= nmsThreshold) {
                continue;
            }
            merged[j] = true;
            const FaceBox& c = candidates[j];
            weight += c.score;
            box[0] += c.score * c.box.x;
            box[1] += c.score * c.box.y;
            box[2] += c.score * (c.box.x + c.box.width);
            box[3] += c.score * (c.box.y + c.box.height);
            for (int k = 0; k < FaceBox::kKeypoints; ++k) {
                keypoints[k] += cv::Point2d(c.keypoints[k]) * static_cast<double>(c.score);
            }
        }
        FaceBox face;
        face.score = candidates[i].score;
        face.box = cv::Rect2f(static_cast<float>(box[0] / weight), static_cast<float>(box[1] / weight),
                              static_cast<float>((box[2] - box[0]) / weight),
                              static_cast<float>((box[3] - box[1]) / weight));
        for (int k = 0; k < FaceBox::kKeypoints; ++k) {
            face.keypoints[k] = cv::Point2f(keypoints[k] * (1.0 / weight));
        }
        faces.push_back(face);
    }
    return faces;
}

FaceDetector::FaceDetector(std::array<cv::dnn::Net, 2> nets, const Settings& settings)
    : m_nets(std::move(nets)), m_settings(settings), m_outputNames(m_nets[0].getUnconnectedOutLayersNames())
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
    std::array<cv::dnn::Net, 2> nets;
    for (cv::dnn::Net& net : nets) {
        try {
            net = cv::dnn::readNetFromONNX(onnx);
        } catch (const cv::Exception&) {
            error = "the detector graph does not load";
            return nullptr;
        }
        if (net.empty()) {
            error = "the detector graph does not load";
            return nullptr;
        }
    }
    std::unique_ptr<FaceDetector> detector(new FaceDetector(std::move(nets), settings));
    // Two score outputs (16x16 and 8x8 grids) and their two regressor outputs.
    if (detector->m_outputNames.size() != 4) {
        error = "the detector graph does not have four outputs";
        return nullptr;
    }
    return detector;
}

double EyeLineAngle(const FaceBox& face)
{
    const cv::Point2f eyes = face.keypoints[1] - face.keypoints[0];
    return eyes == cv::Point2f() ? 0.0 : std::atan2(eyes.y, eyes.x);
}

FaceBox MirroredFace(const FaceBox& face, float width)
{
    // The detector's key points come in left-right pairs: the eyes (0, 1)
    // and the tragions (4, 5).
    static const int mirrored[FaceBox::kKeypoints] = {1, 0, 2, 3, 5, 4};
    FaceBox result = face;
    result.box.x = width - face.box.x - face.box.width;
    for (int k = 0; k < FaceBox::kKeypoints; ++k) {
        const cv::Point2f& p = face.keypoints[mirrored[k]];
        result.keypoints[k] = cv::Point2f(width - p.x, p.y);
    }
    return result;
}

const std::vector<cv::Mat>& FaceDetector::RunNet(int copy, const cv::Mat& input)
{
    // The graph takes NHWC input in [-1, 1]: an HxWx3 float image is that
    // layout already.
    const int size = m_settings.inputSize;
    const int shape[] = {1, size, size, 3};
    cv::Mat blob(4, shape, CV_32F);
    input.convertTo(cv::Mat(size, size, CV_32FC3, blob.ptr<float>()), CV_32F, 1.0 / 127.5, -1.0);
    std::vector<cv::Mat>& outputs = m_outputs[copy];
    m_nets[copy].setInput(blob);
    m_nets[copy].forward(outputs, m_outputNames);
    return outputs;
}

bool FaceDetector::DetectInInput(int copy, const cv::Mat& input, FaceBox& face, float* bestScore)
{
    const int size = m_settings.inputSize;
    const std::vector<cv::Mat>& outputs = RunNet(copy, input);

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
    if (bestScore != nullptr) {
        *bestScore = scores.empty() ? 0.0f : Sigmoid(*std::max_element(scores.begin(), scores.end()));
    }
    const std::vector<FaceBox> faces =
        DecodeDetections(FrontModelAnchors(), scores, regressors, static_cast<float>(size),
                         m_settings.scoreThreshold, m_settings.nmsThreshold);
    if (faces.empty()) {
        return false;
    }
    face = faces.front();
    return true;
}

bool FaceDetector::DetectSymmetric(const cv::Mat& input, FaceBox& face)
{
    // The net is not symmetric: on a mirrored face its box moves by several
    // pixels. It runs on the input and on the input mirrored, and the two
    // faces (the second mirrored back) are averaged, so that a mirrored
    // image gives exactly the mirrored face.
    cv::Mat mirrored;
    cv::flip(input, mirrored, 1);
    const cv::Mat inputs[2] = {input, mirrored};
    FaceBox faces[2];
    bool found[2] = {false, false};
    RunSideBySide([&](int i) { found[i] = DetectInInput(i, inputs[i], faces[i]); });
    const FaceBox& direct = faces[0];
    FaceBox other = faces[1];
    const bool foundDirect = found[0];
    const bool foundOther = found[1];
    if (!foundDirect && !foundOther) {
        return false;
    }
    other = MirroredFace(other, 1.0f);
    face = foundDirect ? direct : other;
    if (foundDirect && foundOther) {
        if (IntersectionOverUnion(direct.box, other.box) > m_settings.nmsThreshold) {
            face.score = (direct.score + other.score) / 2;
            face.box = cv::Rect2f((direct.box.tl() + other.box.tl()) * 0.5f,
                                  (direct.box.br() + other.box.br()) * 0.5f);
            for (int k = 0; k < FaceBox::kKeypoints; ++k) {
                face.keypoints[k] = (direct.keypoints[k] + other.keypoints[k]) * 0.5f;
            }
        } else if (other.score > direct.score) {
            face = other;
        }
    }
    return true;
}

namespace {

// A face found in the net's view of `region` ([0, 1] of the crop) in image
// pixels: the box keeps its size and turns about its centre.
FaceBox FaceInImage(const FaceCrop& crop, const cv::RotatedRect& region, const FaceBox& unit)
{
    std::vector<float> points = {unit.box.x + unit.box.width / 2, unit.box.y + unit.box.height / 2};
    for (const cv::Point2f& point : unit.keypoints) {
        points.push_back(point.x);
        points.push_back(point.y);
    }
    crop.ToImage(points);
    FaceBox face;
    const cv::Size2f boxSize = unit.box.size() * region.size.width;
    face.box = cv::Rect2f(cv::Point2f(points[0] - boxSize.width / 2, points[1] - boxSize.height / 2),
                          boxSize);
    for (int k = 0; k < FaceBox::kKeypoints; ++k) {
        face.keypoints[k] = cv::Point2f(points[2 + 2 * k], points[3 + 2 * k]);
    }
    face.angle = region.angle;
    face.score = unit.score;
    return face;
}

// The look with the most confident face at least kTileScore confident;
// null when there is none.
const SquareLook* MostConfidentTile(const std::vector<SquareLook>& looks)
{
    const SquareLook* best = nullptr;
    for (const SquareLook& look : looks) {
        if (look.found && look.face.score >= kTileScore && (best == nullptr || look.face.score > best->face.score)) {
            best = &look;
        }
    }
    return best;
}

}  // namespace

bool FaceDetector::LookAt(const cv::Mat& bgr, const cv::RotatedRect& region, FaceBox& face)
{
    // The crop shrinks the part of the image it needs before it turns and
    // pads it: the work and memory are those of the net's input whatever
    // the image's size.
    const FaceCrop crop(bgr, region, m_settings.inputSize);
    if (crop.Empty()) {
        return false;
    }
    cv::Mat input;
    cv::cvtColor(crop.Pixels(), input, cv::COLOR_BGR2RGB);
    FaceBox unit;
    if (!DetectSymmetric(input, unit)) {
        return false;
    }
    face = FaceInImage(crop, region, unit);
    return true;
}

std::vector<cv::RotatedRect> TileSquares(cv::Size size, float tileSide)
{
    const float side = static_cast<float>(std::max(size.width, size.height)) * tileSide;
    // Tile centres along one side `length` long: tiles overlap by at least
    // half, the first and the last touch the ends.
    const auto centres = [side](int length) {
        std::vector<float> at;
        const int count =
            length <= side ? 1 : static_cast<int>(std::ceil((length - side) / (side / 2))) + 1;
        for (int i = 0; i < count; ++i) {
            at.push_back(count == 1 ? length / 2.0f : side / 2 + (length - side) * i / (count - 1));
        }
        return at;
    };
    std::vector<cv::RotatedRect> squares;
    if (!(side > 0.0f)) {
        return squares;
    }
    for (const float y : centres(size.height)) {
        for (const float x : centres(size.width)) {
            squares.emplace_back(cv::Point2f(x, y), cv::Size2f(side, side), 0.0f);
        }
    }
    return squares;
}

std::vector<SquareLook> FaceDetector::LookOnce(const cv::Mat& bgr, const std::vector<cv::RotatedRect>& squares)
{
    std::vector<SquareLook> looks(squares.size());
    RunSideBySide([&](int copy) {
        for (size_t i = copy; i < squares.size(); i += 2) {
            looks[i].square = squares[i];
            const FaceCrop crop(bgr, squares[i], m_settings.inputSize);
            if (crop.Empty()) {
                continue;
            }
            cv::Mat input;
            cv::cvtColor(crop.Pixels(), input, cv::COLOR_BGR2RGB);
            FaceBox unit;
            looks[i].found = DetectInInput(copy, input, unit, &looks[i].bestScore);
            if (looks[i].found) {
                looks[i].face = FaceInImage(crop, squares[i], unit);
            }
        }
    });
    return looks;
}

ImageSurvey FaceDetector::Survey(const cv::Mat& bgr)
{
    const float side = static_cast<float>(std::max(bgr.cols, bgr.rows));
    const cv::Point2f middle(bgr.cols / 2.0f, bgr.rows / 2.0f);
    std::vector<cv::RotatedRect> squares;
    for (const float turn : ImageSurvey::kTurns) {
        squares.emplace_back(middle, cv::Size2f(side, side), turn);
    }
    const std::vector<cv::RotatedRect> tiles = TileSquares(bgr.size(), kTileSide);
    squares.insert(squares.end(), tiles.begin(), tiles.end());
    const std::vector<SquareLook> looks = LookOnce(bgr, squares);
    ImageSurvey survey;
    std::copy_n(looks.begin(), survey.turns.size(), survey.turns.begin());
    survey.tiles.assign(looks.begin() + survey.turns.size(), looks.end());
    return survey;
}

float ImageSurvey::BestScore() const
{
    float best = 0.0f;
    for (const SquareLook& look : turns) {
        best = std::max(best, look.bestScore);
    }
    for (const SquareLook& look : tiles) {
        best = std::max(best, look.bestScore);
    }
    return best;
}

float ImageSurvey::TurnScore(float turn) const
{
    for (size_t i = 0; i < turns.size(); ++i) {
        if (kTurns[i] == turn) {
            return turns[i].bestScore;
        }
    }
    return 0.0f;
}

void FaceDetector::LookUpright(const cv::Mat& bgr, FaceBox& face)
{
    // Twice at least: the eyes of a face seen tilted are off by several
    // degrees, and the box follows them; those of the face seen nearly
    // upright are not. Then on while a look's eyes still lie
    // kSettledEyeTurn or more from its square: a face turned far from
    // upright (the astronaut turned by 135 degrees) is first seen with its
    // eyes tens of degrees off, and each look turns them part of the way
    // (63, then 38 degrees); stopped after two, it read pitch 5 to 18
    // degrees off and, once, upside down. The same face turned by any angle
    // ends in about the same box.
    for (int look = 0; look < kMostUprightLooks; ++look) {
        const float angle = static_cast<float>(EyeLineAngle(face) * 180.0 / CV_PI);
        const cv::Point2f centre = (face.box.tl() + face.box.br()) * 0.5f;
        const float window = std::max(face.box.width, face.box.height) * kUprightWindow;
        FaceBox upright;
        if (!LookAt(bgr, cv::RotatedRect(centre, cv::Size2f(window, window), angle), upright)) {
            return;
        }
        face = upright;
        const double eyeTurn = std::remainder(EyeLineAngle(upright) * 180.0 / CV_PI - angle, 360.0);
        if (look >= 1 && std::abs(eyeTurn) < kSettledEyeTurn) {
            return;
        }
    }
}

bool FaceDetector::Detect(const cv::Mat& bgr, FaceBox& face, bool lookCloser, float turn)
{
    // The first look, at the whole image shrunk into a centred square, then
    // the second, at the face it found turned upright by its eyes.
    const float side = static_cast<float>(std::max(bgr.cols, bgr.rows));
    const cv::Point2f middle(bgr.cols / 2.0f, bgr.rows / 2.0f);
    bool found = LookAt(bgr, cv::RotatedRect(middle, cv::Size2f(side, side), turn), face);
    if (found) {
        LookUpright(bgr, face);
    }
    if (!found && lookCloser) {
        found = LookInParts(bgr, face);
    }
    return found;
}

bool FaceDetector::LookInParts(const cv::Mat& bgr, FaceBox& face, const ImageSurvey* survey)
{
    const std::vector<SquareLook> coarse =
        survey != nullptr ? survey->tiles : LookOnce(bgr, TileSquares(bgr.size(), kTileSide));
    std::vector<SquareLook> fine;
    const SquareLook* tile = MostConfidentTile(coarse);
    if (tile == nullptr) {
        fine = LookOnce(bgr, TileSquares(bgr.size(), kFineTileSide));
        tile = MostConfidentTile(fine);
    }
    if (tile == nullptr) {
        return false;
    }
    // The chosen square again with its mirror image: the box of one run
    // moves by several pixels, and the looks upright start from it (from
    // one run's box, the camera man's face 40 pixels wide in a 640x480
    // frame read pitch 7.6 degrees from his full size's, against 2.2).
    if (!LookAt(bgr, tile->square, face)) {
        face = tile->face;
    }
    LookUpright(bgr, face);
    return true;
}

}  // namespace estimator
}  // namespace zor
