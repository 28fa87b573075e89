#include "pose_model_file.h"

#include <cstdint>

namespace zor {
namespace estimator {

const char* const kPoseModelKind = "landmark_pose";

namespace {

// Layout of the document:
//   kind: "landmark_pose"
//   detector: { onnx: <bytes>, input_size, score_threshold, nms_threshold }
//   landmarks: { mean_rgb: [r, g, b], box_shift: [x, y], box_scale: [x, y],
//                tensors: [ { name, shape: [...], min, scale, q: <bytes> } ] }
//   face_model: { landmarks: [indices], points: <n x 3 floats> }

cv::Mat BytesRow(const std::vector<uchar>& bytes)
{
    return cv::Mat(1, static_cast<int>(bytes.size()), CV_8U, const_cast<uchar*>(bytes.data()));
}

// cv::read allocates the rows x cols that a matrix claims before it counts
// the data, so a file of a few bytes could ask for gigabytes. A matrix is
// read only when its data holds exactly what its header claims.
bool MatrixFitsItsData(const cv::FileNode& node)
{
    if (!node.isMap()) {
        return false;
    }
    const cv::FileNode rows = node["rows"];
    const cv::FileNode cols = node["cols"];
    const cv::FileNode dt = node["dt"];
    const cv::FileNode data = node["data"];
    if (!rows.isInt() || !cols.isInt() || !dt.isString() || !data.isSeq() ||
        static_cast<int>(rows) < 0 || static_cast<int>(cols) < 0) {
        return false;
    }
    // The element type: one type letter, after an optional channel count.
    const std::string type = dt.string();
    const size_t letter = type.find_first_not_of("0123456789");
    if (letter == std::string::npos || letter + 1 != type.size() || letter > 3) {
        return false;
    }
    const uint64_t channels = letter == 0 ? 1 : std::stoul(type.substr(0, letter));
    const uint64_t elements =
        static_cast<uint64_t>(static_cast<int>(rows)) * static_cast<uint64_t>(static_cast<int>(cols));
    return channels > 0 && data.size() % channels == 0 && data.size() / channels == elements;
}

bool ReadBytes(const cv::FileNode& node, std::vector<uchar>& bytes)
{
    if (!MatrixFitsItsData(node)) {
        return false;
    }
    cv::Mat mat;
    cv::read(node, mat);
    if (mat.empty() || mat.type() != CV_8U || !mat.isContinuous()) {
        return false;
    }
    bytes.assign(mat.data, mat.data + mat.total());
    return true;
}

bool ReadNumber(const cv::FileNode& node, double& value)
{
    if (!node.isReal() && !node.isInt()) {
        return false;
    }
    value = node.real();
    return true;
}

bool ReadNumbers(const cv::FileNode& node, size_t count, std::vector<double>& values)
{
    if (!node.isSeq() || node.size() != count) {
        return false;
    }
    values.clear();
    for (const cv::FileNode& item : node) {
        double value = 0.0;
        if (!ReadNumber(item, value)) {
            return false;
        }
        values.push_back(value);
    }
    return true;
}

bool ReadDetector(const cv::FileNode& node, std::unique_ptr<FaceDetector>& detector,
                  std::string& error)
{
    std::vector<uchar> onnx;
    double inputSize = 0.0;
    double scoreThreshold = 0.0;
    double nmsThreshold = 0.0;
    if (!node.isMap() || !ReadBytes(node["onnx"], onnx) ||
        !ReadNumber(node["input_size"], inputSize) ||
        !ReadNumber(node["score_threshold"], scoreThreshold) ||
        !ReadNumber(node["nms_threshold"], nmsThreshold) || inputSize < 16 || inputSize > 1024) {
        error = "the \"detector\" section is incomplete";
        return false;
    }
    FaceDetector::Settings settings;
    settings.inputSize = static_cast<int>(inputSize);
    settings.scoreThreshold = static_cast<float>(scoreThreshold);
    settings.nmsThreshold = static_cast<float>(nmsThreshold);
    detector = FaceDetector::FromOnnx(onnx, settings, error);
    return detector != nullptr;
}

bool ReadTensor(const cv::FileNode& node, TensorMap& tensors, std::string& error)
{
    const cv::FileNode name = node["name"];
    std::vector<uchar> q;
    double min = 0.0;
    double scale = 0.0;
    const cv::FileNode shapeNode = node["shape"];
    if (!name.isString() || !shapeNode.isSeq() || !ReadNumber(node["min"], min) ||
        !ReadNumber(node["scale"], scale) || !ReadBytes(node["q"], q)) {
        error = "a landmark tensor is incomplete";
        return false;
    }
    Tensor tensor;
    size_t total = 1;
    for (const cv::FileNode& dim : shapeNode) {
        if (!dim.isInt() || static_cast<int>(dim) <= 0 || static_cast<int>(dim) > (1 << 20)) {
            error = "the landmark tensor \"" + name.string() + "\" has a bad shape";
            return false;
        }
        tensor.shape.push_back(static_cast<int>(dim));
        total *= static_cast<size_t>(tensor.shape.back());
    }
    if (total != q.size()) {
        error = "the landmark tensor \"" + name.string() + "\" has " + std::to_string(q.size()) +
                " values, its shape needs " + std::to_string(total);
        return false;
    }
    BytesRow(q).convertTo(tensor.values, CV_32F, scale, min);
    tensors[name.string()] = std::move(tensor);
    return true;
}

bool ReadLandmarks(const cv::FileNode& node, std::unique_ptr<LandmarkNet>& net, BoxAdjustment& box,
                   std::string& error)
{
    std::vector<double> mean;
    std::vector<double> shift;
    std::vector<double> scale;
    const cv::FileNode tensorsNode = node["tensors"];
    if (!node.isMap() || !ReadNumbers(node["mean_rgb"], 3, mean) ||
        !ReadNumbers(node["box_shift"], 2, shift) || !ReadNumbers(node["box_scale"], 2, scale) ||
        !tensorsNode.isSeq() || scale[0] <= 0.0 || scale[1] <= 0.0) {
        error = "the \"landmarks\" section is incomplete";
        return false;
    }
    box.shift = cv::Point2f(static_cast<float>(shift[0]), static_cast<float>(shift[1]));
    box.scale = cv::Point2f(static_cast<float>(scale[0]), static_cast<float>(scale[1]));
    TensorMap tensors;
    for (const cv::FileNode& tensorNode : tensorsNode) {
        if (!ReadTensor(tensorNode, tensors, error)) {
            return false;
        }
    }
    net = LandmarkNet::FromTensors(tensors, cv::Scalar(mean[0], mean[1], mean[2]), error);
    return net != nullptr;
}

bool ReadFaceModel(const cv::FileNode& node, FaceModel3d& model, std::string& error)
{
    cv::Mat points;
    const cv::FileNode indices = node["landmarks"];
    if (node.isMap() && MatrixFitsItsData(node["points"])) {
        cv::read(node["points"], points);
    }
    if (!indices.isSeq() || points.type() != CV_32F || points.cols != 3 ||
        points.rows != static_cast<int>(indices.size()) || points.rows < 4) {
        error = "the \"face_model\" section is incomplete";
        return false;
    }
    for (int i = 0; i < points.rows; ++i) {
        const cv::FileNode index = indices[i];
        if (!index.isInt() || static_cast<int>(index) < 0 || static_cast<int>(index) >= 68) {
            error = "the \"face_model\" section names a landmark that does not exist";
            return false;
        }
        model.landmarks.push_back(static_cast<int>(index));
        model.points.emplace_back(points.at<float>(i, 0), points.at<float>(i, 1),
                                  points.at<float>(i, 2));
    }
    return true;
}

}  // namespace

bool WritePoseModel(const std::string& path, const PoseModelContent& content, std::string& error)
{
    cv::FileStorage storage(path, cv::FileStorage::WRITE | cv::FileStorage::FORMAT_YAML |
                                      cv::FileStorage::BASE64);
    if (!storage.isOpened()) {
        error = "cannot write " + path;
        return false;
    }
    storage << "kind" << kPoseModelKind;
    storage << "detector" << "{";
    storage << "onnx" << BytesRow(content.detectorOnnx);
    storage << "input_size" << content.detector.inputSize;
    storage << "score_threshold" << content.detector.scoreThreshold;
    storage << "nms_threshold" << content.detector.nmsThreshold;
    storage << "}";

    storage << "landmarks" << "{";
    storage << "mean_rgb" << "[:" << content.meanRgb[0] << content.meanRgb[1] << content.meanRgb[2]
            << "]";
    storage << "box_shift" << "[:" << content.box.shift.x << content.box.shift.y << "]";
    storage << "box_scale" << "[:" << content.box.scale.x << content.box.scale.y << "]";
    storage << "tensors" << "[";
    for (const QuantizedTensor& tensor : content.landmarkTensors) {
        storage << "{";
        storage << "name" << tensor.name;
        storage << "shape" << tensor.shape;
        storage << "min" << tensor.min;
        storage << "scale" << tensor.scale;
        storage << "q" << BytesRow(tensor.q);
        storage << "}";
    }
    storage << "]";
    storage << "}";

    cv::Mat points(static_cast<int>(content.faceModel.points.size()), 3, CV_32F);
    for (int i = 0; i < points.rows; ++i) {
        const cv::Point3f& p = content.faceModel.points[i];
        points.at<float>(i, 0) = p.x;
        points.at<float>(i, 1) = p.y;
        points.at<float>(i, 2) = p.z;
    }
    storage << "face_model" << "{";
    storage << "landmarks" << content.faceModel.landmarks;
    storage << "points" << points;
    storage << "}";
    storage.release();
    return true;
}

std::shared_ptr<NetModel> ReadPoseModel(const cv::FileNode& document, std::string& error)
{
    std::unique_ptr<FaceDetector> detector;
    std::unique_ptr<LandmarkNet> landmarks;
    BoxAdjustment box;
    FaceModel3d faceModel;
    if (!ReadDetector(document["detector"], detector, error) ||
        !ReadFaceModel(document["face_model"], faceModel, error) ||
        !ReadLandmarks(document["landmarks"], landmarks, box, error)) {
        return nullptr;
    }
    return std::make_shared<PoseEstimator>(std::move(detector), std::move(landmarks), box,
                                           faceModel);
}

}  // namespace estimator
}  // namespace zor
