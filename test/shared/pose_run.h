#pragma once

// What test_facepose and record_facepose share: where the model file is,
// the check of the input files, one detection and the pose it gives.

#include <exception>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "network/facepose.h"

namespace zor::test::shared {

// The pose: elements 136, 137 and 138 of the first result vector hold yaw,
// pitch and roll divided by 90 degrees.
constexpr size_t kPoseIndex = 136;
constexpr size_t kResultLength = kPoseIndex + 3;
constexpr float kPoseScale = 90.0f;

// Exit status when the network returns fewer values than the pose needs.
constexpr int kExitShortResult = 2;

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

// One detection on one image. Holds the image, the batch, the network and
// its results until it is destroyed, which releases them in reverse order.
class PoseRun {
public:
    PoseRun(const std::string& model_path, const std::string& pic_path);

    // The length of the first result vector, or -1 when there is none.
    long FirstResultLength() const;

    // The three pose values in degrees (single-precision products), or an
    // empty vector after writing to standard error why there is no pose:
    // the network failed (it threw), or it returned too few values.
    std::vector<float> Pose(const char* program) const;

private:
    cv::Mat m_image;
    std::vector<cv::Mat> m_images;
    zor::vision::Facepose m_network;
    std::vector<std::vector<float>> m_results;
    std::exception_ptr m_failure;  // what the network threw, if it did
};

}  // namespace zor::test::shared
