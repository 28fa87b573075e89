// test_facepose: runs the face-pose network on one image, prints the pose it
// found and, with -v, checks the pose against an expectation file.
//
// Exit status: 0 after a complete run, whatever the verdict; 1 when the model
// file or the image is missing; 2 when the network returns fewer values than
// the pose needs; 3 when standard output could not be written; -1 (255) on
// bad usage.

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <glog/logging.h>

#include "shared/log_name.h"
#include "shared/output_check.h"
#include "shared/pose_run.h"
#include "validator/result_validator.h"

namespace {

// What the command line asked for.
struct Arguments {
    bool has_valid = false;  // -v/--valid was given, even with an empty path
    std::string model_dir;   // folder of the model file
    std::string pic_path;    // the image
    std::string valid_path;  // the expectation file
};

// The verdict record names this file and line 118 as its source, whatever
// line the statement stands on: scripts that read the record match it.
constexpr int kVerdictRecordLine = 118;

const struct option long_options[] = {
    {"model", required_argument, nullptr, 'm'},
    {"path", required_argument, nullptr, 'p'},
    {"valid", required_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

// Prints the usage text and ends the process with status -1 (255).
[[noreturn]] void print_help(char** argv)
{
    std::cout << "Usage: " << (argv[0] != nullptr ? argv[0] : "")
              << "\n     -m/--model <dir_path> : nmodel folder path"
              << "\n     -p/--path <path>      : the image file or path"
              << "\n     -v/--valid  <path>    : nvalid file for validation" << std::endl;
    exit(-1);
}

// Reads the options; the last occurrence of an option wins. getopt_long
// reports an unknown option or a missing argument itself before the usage
// text. Both the model folder and the image are required, and nothing may
// be left over after the options.
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

// Checks the pose against the expectation file and reports the verdict as one
// INFO record. The validator writes the validation log when it goes out of
// scope at the end; the exit status does not depend on the verdict.
void RunValidation(const std::string& valid_path, const std::vector<float>& pose_row)
{
    std::string expectation_path = valid_path;
    std::cout << "test: " << expectation_path << std::endl;
    zor::test::ResultValidator validator(expectation_path);
    validator.SetLogType(zor::test::VLOG_FULL);
    validator.SetOutputlogName(zor::test::shared::LogNameFor(expectation_path));

    // One result item: the three pose values, as printed.
    std::vector<std::vector<float>> check_batch;
    check_batch.push_back(pose_row);
    // The record opens before the check prints its messages and is emitted
    // after them, at the end of the block. Standard output is flushed first:
    // with both streams joined into one pipe or file, the summary and the
    // check's messages then stand before the verdict, as they were written.
    {
        google::LogMessage record(__FILE__, kVerdictRecordLine);
        record.stream() << (validator.Check(check_batch) ? "Test passed." : "Test failed.");
        std::cout.flush();
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    zor::test::shared::CheckOutputAtExit("test_facepose");
    Arguments arg_val = ParseArguments(argc, argv);
    std::string model_path = zor::test::shared::ModelFilePath(arg_val.model_dir);
    zor::test::shared::RequireInputFiles(model_path, arg_val.pic_path);

    zor::test::shared::PoseRun run(model_path, arg_val.pic_path);
    if (run.FirstResultLength() >= 0) {
        printf("Data length %d\n", static_cast<int>(run.FirstResultLength()));
    }
    const std::vector<float> pose_row = run.Pose("test_facepose");
    if (pose_row.empty()) {
        return zor::test::shared::kExitShortResult;
    }
    // Single-precision products, widened to double only for printing.
    printf("value: result %f, %f, %f\n", static_cast<double>(pose_row[0]),
           static_cast<double>(pose_row[1]), static_cast<double>(pose_row[2]));

    if (arg_val.has_valid) {
        RunValidation(arg_val.valid_path, pose_row);
    }
    return 0;
}
