// test_facepose: runs the face-pose network on one image, prints the pose it
// found and, with -v, checks the pose against an expectation file.
//
// Exit status: 0 after a complete run, whatever the verdict; 1 when the model
// file or the image is missing; 2 when the network returns fewer values than
// the pose needs; -1 (255) on bad usage.
//
// The verdict record names its source line, test_facepose.cpp:118, and the
// scripts that read the record match it: keep the LOG(INFO) statement on that
// line when editing above it (an end-to-end case checks it).

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <glog/logging.h>

#include "network/facepose.h"
#include "network/file_utils.h"
#include "validator/result_validator.h"

namespace {

// What the command line asked for.
struct Arguments {
    bool has_valid = false;  // -v/--valid was given, even with an empty path
    std::string model_dir;   // folder of the model file
    std::string pic_path;    // the image
    std::string valid_path;  // the expectation file
};

const struct option long_options[] = {
    {"model", required_argument, nullptr, 'm'},
    {"path", required_argument, nullptr, 'p'},
    {"valid", required_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

// The model file inside the model folder. The "/" is always added, so a
// folder given with a trailing "/" gives two; both name the same file.
const char kModelFileName[] = "/light_rpoly_lmp_iter_75000_w_scale.nmodel";
constexpr int kImreadColor = 1;  // cv::IMREAD_COLOR: three channels, 8 bits

// The pose: elements 136, 137 and 138 of the first result vector hold yaw,
// pitch and roll divided by 90 degrees.
constexpr size_t kPoseIndex = 136;
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

// The validation log is named after the expectation file: its name without
// directory and last extension, plus ".log" (a.b.nkvalid gives a.b.log,
// dir.old/case gives case.log, a path ending in "/" or .nkvalid gives .log).
std::string LogNameFor(std::string expectation_path)
{
    const size_t slash = expectation_path.rfind('/');
    if (slash != std::string::npos) {
        expectation_path = expectation_path.substr(slash + 1);
    }
    const size_t dot = expectation_path.rfind('.');
    return expectation_path.substr(0, dot) + ".log";
}

// Checks the pose against the expectation file and reports the verdict as one
// INFO record. The validator writes the validation log when it goes out of
// scope at the end.
void RunValidation(const std::string& valid_path, const std::vector<float>& pose_row)
{
    std::string expectation_path = valid_path;
    std::cout << "test: " << expectation_path << std::endl;
    zor::test::ResultValidator validator(expectation_path);
    validator.SetLogType(zor::test::VLOG_FULL);
    validator.SetOutputlogName(LogNameFor(expectation_path));

    // One result item: the three pose values, as printed.
    std::vector<std::vector<float>> check_batch;
    check_batch.push_back(pose_row);
    // The record opens before the check prints its messages and is emitted
    // after them, at the end of the statement.
    LOG(INFO) << (validator.Check(check_batch) ? "Test passed." : "Test failed.");
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
    printf("Data length %d\n", static_cast<int>(results[0].size()));
    // Single-precision products, widened to double only for printing.
    std::vector<float> pose_row;
    for (size_t i = kPoseIndex; i < kResultLength; ++i) {
        pose_row.push_back(kPoseScale * results[0][i]);
    }
    printf("value: result %f, %f, %f\n", static_cast<double>(pose_row[0]),
           static_cast<double>(pose_row[1]), static_cast<double>(pose_row[2]));

    if (arg_val.has_valid) {
        RunValidation(arg_val.valid_path, pose_row);
    }
    return 0;
}
