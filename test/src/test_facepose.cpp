// test_facepose: runs the face-pose network on one image, prints the pose it
// found and, with -v, checks the pose against an expectation file.

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "network/facepose.h"
#include "network/file_utils.h"

namespace {

// What the command line asked for.
struct Arguments {
    bool has_valid = false;
    std::string model_dir;
    std::string pic_path;
    std::string valid_path;
};

const struct option long_options[] = {
    {"model", required_argument, nullptr, 'm'},
    {"path", required_argument, nullptr, 'p'},
    {"valid", required_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

const char kModelFileName[] = "/light_rpoly_lmp_iter_75000_w_scale.nmodel";
constexpr int kImreadColor = 1;
constexpr size_t kPoseIndex = 136;        // yaw, pitch, roll follow in this order
constexpr size_t kResultLength = kPoseIndex + 3;
constexpr float kPoseScale = 90.0f;
constexpr int kExitShortResult = 2;

[[noreturn]] void print_help(char** argv)
{
    std::cout << "Usage: " << (argv[0] != nullptr ? argv[0] : "")
              << "\n     -m/--model <dir_path> : nmodel folder path"
              << "\n     -p/--path <path>      : the image file or path"
              << "\n     -v/--valid  <path>    : nvalid file for validation" << std::endl;
    exit(-1);
}

Arguments ParseArguments(int argc, char** argv)
{
    Arguments arg_val;
    int opt = 0;
    while ((opt = getopt_long(argc, argv, "m:p:v:", long_options, nullptr)) != -1) {
        switch (opt) {
        case 'm': arg_val.model_dir = optarg; break;
        case 'p': arg_val.pic_path = optarg; break;
        case 'v':
            arg_val.has_valid = true;
            arg_val.valid_path = optarg;
            break;
        case '?': print_help(argv);
        default: break;
        }
    }
    if (arg_val.model_dir.empty() || arg_val.pic_path.empty() || optind < argc) {
        print_help(argv);
    }
    return arg_val;
}

}  // namespace

int main(int argc, char** argv)
{
    Arguments arg_val = ParseArguments(argc, argv);

    std::string model_path = arg_val.model_dir + kModelFileName;
    if (!zor::utils::FileExist(model_path)) {
        std::cout << "Cannot find valid model file." << std::endl;
        exit(1);
    }
    if (!zor::utils::FileExist(arg_val.pic_path)) {
        std::cout << "Cannot find valid pic file: " << arg_val.pic_path << std::endl;
        exit(1);
    }

    cv::Mat image;
    image = cv::imread(arg_val.pic_path, kImreadColor);
    std::vector<cv::Mat> images;
    images.push_back(image);

    zor::vision::Facepose network(model_path, nullptr);
    std::vector<std::vector<float>> results;
    network.Detect(images, results);

    if (results.empty() || results[0].size() < kResultLength) {
        if (!results.empty()) {
            printf("Data length %d\n", static_cast<int>(results[0].size()));
        }
        const size_t got = results.empty() ? 0 : results[0].size();
        std::cerr << "test_facepose: the network returned " << got << " values; " << kResultLength
                  << " are needed." << std::endl;
        return kExitShortResult;
    }
    const std::vector<float>& result = results[0];
    printf("Data length %d\n", static_cast<int>(result.size()));
    const float yaw = kPoseScale * result[kPoseIndex];
    const float pitch = kPoseScale * result[kPoseIndex + 1];
    const float roll = kPoseScale * result[kPoseIndex + 2];
    printf("value: result %f, %f, %f\n", static_cast<double>(yaw), static_cast<double>(pitch),
           static_cast<double>(roll));

    return 0;
}
