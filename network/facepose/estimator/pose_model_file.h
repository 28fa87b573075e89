#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/net_model.h"
#include "face_detector.h"
#include "head_pose.h"
#include "pose_estimator.h"

namespace zor {
namespace estimator {

// The model kind's name in the document's `kind`.
extern const char* const kPoseModelKind;
// The layout's number in the document's `format`: the reader takes only
// this one.
extern const int kPoseModelFormat;

// A weight tensor stored with 8-bit quantisation: value = min + scale * q.
struct QuantizedTensor {
    std::string name;
    std::vector<int> shape;
    double min = 0.0;
    double scale = 0.0;
    std::vector<uchar> q;
};

// Everything a "landmark_pose" model file holds.
struct PoseModelContent {
    // Who wrote the file, kept in `made_by`: the converter's name and the
    // number of its output's revision, so that a setup step can tell a file
    // from an older converter.
    std::string madeBy;
    std::vector<uchar> detectorOnnx;
    FaceDetector::Settings detector;
    std::vector<QuantizedTensor> landmarkTensors;
    cv::Scalar meanRgb;
    BoxAdjustment box;
    FaceModel3d faceModel;
};

// Writes the document (YAML, binary data as base64 lines). False with `error` set
// when the file cannot be written.
bool WritePoseModel(const std::string& path, const PoseModelContent& content, std::string& error);

// Builds the estimator from a document of this kind; null with `error` set
// when a part is missing, has the wrong size or does not load.
std::shared_ptr<NetModel> ReadPoseModel(const cv::FileNode& document, std::string& error);

}  // namespace estimator
}  // namespace zor
