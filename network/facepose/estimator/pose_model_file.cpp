#include "pose_model_file.h"

#include "base64_node.h"

namespace zor {
namespace estimator {

const char* const kPoseModelKind = "landmark_pose";
const int kPoseModelFormat = 2;

namespace {

// Layout of the document:
//   kind: "landmark_pose"
//   format: kPoseModelFormat
//   made_by: the converter's identity (see PoseModelContent::madeBy)
//   detector: { onnx: <base64 lines>, input_size, score_threshold, nms_threshold }
//   landmarks: { mean_rgb: [r, g, b], box_shift: [x, y], box_scale: [x, y],
//                tensors: [ { name, shape: [...], min, scale } ],
//                q: <base64 lines: the tensors' 8-bit values, one after another> }
//   face_model: { landmarks: [indices], points: [x, y, z, x, y, z, ...] }

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
    if (!node.isMap() || !ReadBase64(node["onnx"], onnx) ||
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

// The next tensor of the landmark section: its metadata from `node`, its
// values from `q` at `offset`, which it moves past them.
bool ReadTensor(const cv::FileNode& node, const std::vector<uchar>& q, size_t& offset,
                TensorMap& tensors, std::string& error)
{
    const cv::FileNode name = node["name"];
    double min = 0.0;
    double scale = 0.0;
    const cv::FileNode shapeNode = node["shape"];
    if (!node.isMap() || !name.isString() || !shapeNode.isSeq() || !ReadNumber(node["min"], min) ||
        !ReadNumber(node["scale"], scale)) {
        error = "a landmark tensor is incomplete";
        return false;
    }
    Tensor tensor;
    size_t total = 1;
    for (const cv::FileNode& dim : shapeNode) {
        if (!dim.isInt() || static_cast<int>(dim) <= 0 || static_cast<int>(dim) > (1 << 20) ||
            total > (size_t(1) << 30)) {
            error = "the landmark tensor \"" + name.string() + "\" has a bad shape";
            return false;
        }
        tensor.shape.push_back(static_cast<int>(dim));
        total *= static_cast<size_t>(tensor.shape.back());
    }
    if (total > q.size() - offset) {
        error = "the landmark tensor \"" + name.string() + "\" needs " + std::to_string(total) +
                " values, " + std::to_string(q.size() - offset) + " are left";
        return false;
    }
    const cv::Mat bytes(1, static_cast<int>(total), CV_8U, const_cast<uchar*>(q.data() + offset));
    bytes.convertTo(tensor.values, CV_32F, scale, min);
    offset += total;
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
    std::vector<uchar> q;
    if (!ReadBase64(node["q"], q)) {
        error = "the landmark tensors' values are not well-formed base64";
        return false;
    }
    TensorMap tensors;
    size_t offset = 0;
    for (const cv::FileNode& tensorNode : tensorsNode) {
        if (!ReadTensor(tensorNode, q, offset, tensors, error)) {
            return false;
        }
    }
    if (offset != q.size()) {
        error = "the landmark tensors' shapes need " + std::to_string(offset) + " values, there are " +
                std::to_string(q.size());
        return false;
    }
    net = LandmarkNet::FromTensors(tensors, cv::Scalar(mean[0], mean[1], mean[2]), error);
    return net != nullptr;
}

bool ReadFaceModel(const cv::FileNode& node, FaceModel3d& model, std::string& error)
{
    const cv::FileNode indices = node["landmarks"];
    std::vector<double> points;
    if (!node.isMap() || !indices.isSeq() || indices.size() < 4 || indices.size() > 68 ||
        !ReadNumbers(node["points"], 3 * indices.size(), points)) {
        error = "the \"face_model\" section is incomplete";
        return false;
    }
    for (size_t i = 0; i < indices.size(); ++i) {
        const cv::FileNode index = indices[static_cast<int>(i)];
        if (!index.isInt() || static_cast<int>(index) < 0 || static_cast<int>(index) >= 68) {
            error = "the \"face_model\" section names a landmark that does not exist";
            return false;
        }
        model.landmarks.push_back(static_cast<int>(index));
        model.points.emplace_back(static_cast<float>(points[3 * i]), static_cast<float>(points[3 * i + 1]),
                                  static_cast<float>(points[3 * i + 2]));
    }
    return true;
}

}  // namespace

bool WritePoseModel(const std::string& path, const PoseModelContent& content, std::string& error)
{
    cv::FileStorage storage(path, cv::FileStorage::WRITE | cv::FileStorage::FORMAT_YAML);
    if (!storage.isOpened()) {
        error = "cannot write " + path;
        return false;
    }
    storage << "kind" << kPoseModelKind;
    storage << "format" << kPoseModelFormat;
    storage << "made_by" << content.madeBy;
    storage << "detector" << "{";
    WriteBase64(storage, "onnx", content.detectorOnnx);
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
    std::vector<uchar> q;
    for (const QuantizedTensor& tensor : content.landmarkTensors) {
        storage << "{";
        storage << "name" << tensor.name;
        storage << "shape" << tensor.shape;
        storage << "min" << tensor.min;
        storage << "scale" << tensor.scale;
        storage << "}";
        q.insert(q.end(), tensor.q.begin(), tensor.q.end());
    }
    storage << "]";
    WriteBase64(storage, "q", q);
    storage << "}";

    storage << "face_model" << "{";
    storage << "landmarks" << content.faceModel.landmarks;
    storage << "points" << "[:";
    for (const cv::Point3f& p : content.faceModel.points) {
        storage << p.x << p.y << p.z;
    }
    storage << "]";
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
    const cv::FileNode format = document["format"];
    if (!format.isInt() || static_cast<int>(format) != kPoseModelFormat) {
        error = "the model's layout is not format " + std::to_string(kPoseModelFormat) +
                " (convert the model again with this build's pose_model_converter)";
        return nullptr;
    }
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
