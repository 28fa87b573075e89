#include "shared/pose_run.h"

#include <cstdlib>
#include <exception>
#include <iostream>

#include <opencv2/imgcodecs.hpp>

#include "network/file_utils.h"

namespace zor::test::shared {
namespace {

const char kModelFileName[] = "/light_rpoly_lmp_iter_75000_w_scale.nmodel";
constexpr int kImreadColor = 1;  // cv::IMREAD_COLOR: three channels, 8 bits

}  // namespace

// Not tested here: an image that does not decode stays empty and the network
// says so. OpenCV throws instead of returning an empty image for a header
// that claims more pixels than it allows (CV_IO_MAX_IMAGE_PIXELS,
// CV_IO_MAX_IMAGE_WIDTH/HEIGHT); such an image stays empty as well.
cv::Mat ReadImage(const std::string& pic_path)
{
    cv::Mat image;
    try {
        image = cv::imread(pic_path, kImreadColor);
    } catch (const cv::Exception& e) {
        std::cerr << "cannot read image " << pic_path << ": " << e.err << std::endl;
        image.release();
    }
    return image;
}

std::vector<float> PoseValues(const std::vector<std::vector<float>>& results)
{
    std::vector<float> pose;
    if (!results.empty() && results[0].size() >= kResultLength) {
        for (size_t i = kPoseIndex; i < kResultLength; ++i) {
            pose.push_back(kPoseScale * results[0][i]);
        }
    }
    return pose;
}

std::string ModelFilePath(const std::string& model_dir)
{
    return model_dir + kModelFileName;
}

void RequireInputFiles(const std::string& model_path, const std::string& pic_path)
{
    if (!zor::utils::FileExist(model_path)) {
        std::cout << "Cannot find valid model file." << std::endl;
        exit(kExitMissingInput);
    }
    if (!zor::utils::FileExist(pic_path)) {
        std::cout << "Cannot find valid pic file: " << pic_path << std::endl;
        exit(kExitMissingInput);
    }
}

long Detection::FirstResultLength() const
{
    return results.empty() ? -1 : static_cast<long>(results[0].size());
}

std::vector<float> Detection::Pose() const
{
    return failure ? std::vector<float>() : PoseValues(results);
}

Detection DetectPose(zor::vision::Facepose& network, const cv::Mat& image)
{
    Detection detection;
    try {
        network.Detect({image}, detection.results);
    } catch (const std::exception&) {
        detection.failure = std::current_exception();
        detection.results.clear();
    }
    return detection;
}

void WriteMissingPose(std::ostream& out, const Detection& detection)
{
    if (detection.failure) {
        try {
            std::rethrow_exception(detection.failure);
        } catch (const std::exception& e) {
            out << "the network failed: " << e.what();
        }
        return;
    }
    const size_t got = detection.results.empty() ? 0 : detection.results[0].size();
    out << "the network returned " << got << " values; " << kResultLength << " are needed.";
}

PoseRun::PoseRun(const std::string& model_path, const std::string& pic_path)
    : m_image(ReadImage(pic_path)), m_network(model_path, nullptr), m_detection(DetectPose(m_network, m_image))
{
}

std::vector<float> PoseRun::Pose(const char* program) const
{
    std::vector<float> pose = m_detection.Pose();
    if (pose.empty()) {
        std::cerr << program << ": ";
        WriteMissingPose(std::cerr, m_detection);
        std::cerr << std::endl;
    }
    return pose;
}

}  // namespace zor::test::shared
