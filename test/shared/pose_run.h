#pragma once

// The first half of the one path from image to verdict that test_facepose,
// facepose_suite and record_facepose share: where the model file is, the
// check of the input files, reading the image, one detection and the pose it
// gives (the second half, the check of the pose, is in pose_judge.h).

#include <exception>
#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "network/facepose.h"
#include "shared/exit_status.h"

namespace zor::test::shared {

// The pose: elements 136, 137 and 138 of the first result vector hold yaw,
// pitch and roll divided by 90 degrees.
constexpr size_t kPoseIndex = 136;
constexpr size_t kResultLength = kPoseIndex + 3;
constexpr float kPoseScale = 90.0f;

// The model file inside a model folder. The "/" is always added, so a folder
// given with a trailing "/" gives two; both name the same file.
std::string ModelFilePath(const std::string& model_dir);

// Ends the process with status 1 and the fixed message when the model file,
// or else the image, does not exist.
void RequireInputFiles(const std::string& model_path, const std::string& pic_path);

// The image as the network gets it: read in colour; an image that does not
// decode (or that OpenCV refuses as too large, the reason then on standard
// error) is empty.
cv::Mat ReadImage(const std::string& pic_path);

// The three pose values in degrees (single-precision products) of the first
// result vector, or an empty vector when the results are shorter.
std::vector<float> PoseValues(const std::vector<std::vector<float>>& results);

// What the network made of one image: the results it returned, or what it
// threw (a failed allocation, an error inside it).
struct Detection {
    std::vector<std::vector<float>> results;
    std::exception_ptr failure;

    // The length of the first result vector, or -1 when there is none.
    long FirstResultLength() const;
    // The pose in degrees; empty when the network failed or returned too few values.
    std::vector<float> Pose() const;
};

// Runs `network` on a batch of `image` alone. Never throws: what the
// network throws is kept in the detection.
Detection DetectPose(zor::vision::Facepose& network, const cv::Mat& image);

// Writes why `detection` holds no pose: "the network failed: <what it
// threw>" or "the network returned N values; 139 are needed.".
void WriteMissingPose(std::ostream& out, const Detection& detection);

// One detection on one image with a network of its own. Holds the image, the
// network and the detection until it is destroyed, which releases them in
// reverse order.
class PoseRun {
public:
    PoseRun(const std::string& model_path, const std::string& pic_path);

    long FirstResultLength() const { return m_detection.FirstResultLength(); }

    // The pose in degrees, or an empty vector after writing
    // "<program>: <why>" (WriteMissingPose) to standard error.
    std::vector<float> Pose(const char* program) const;

private:
    cv::Mat m_image;
    zor::vision::Facepose m_network;
    Detection m_detection;
};

}  // namespace zor::test::shared
