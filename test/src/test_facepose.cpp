// test_facepose: runs the face-pose network on one image, prints the pose it
// found and, with -v, checks the pose against an expectation file.
//
// Exit status: 0 after a complete run, whatever the verdict; 1 when the model
// file or the image is missing; 2 when the network returns fewer values than
// the pose needs; 3 when standard output could not be written; -1 (255) on
// bad usage.

#include <getopt.h>

#include <cstdlib>
#include <iostream>

#include "driver_run.h"
#include "shared/output_check.h"

namespace {

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

}  // namespace

// Maps the options into the run's arguments; the last occurrence of an
// option wins. getopt_long reports an unknown option or a missing argument
// itself before the usage text. Both the model folder and the image are
// required, and nothing may be left over after the options.
int main(int argc, char** argv)
{
    zor::test::shared::OpenStandardDescriptors();
    zor::test::shared::CheckOutputAtExit("test_facepose");
    zor::test::driver::Arguments arg_val;
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
    return zor::test::driver::RunDriver(arg_val);
}
