#pragma once

// One run of test_facepose, once its options are read.

#include <string>

namespace zor::test::driver {

// What the command line asked for.
struct Arguments {
    bool has_valid = false;  // -v/--valid was given, even with an empty path
    std::string model_dir;   // folder of the model file
    std::string pic_path;    // the image
    std::string valid_path;  // the expectation file
};

// Checks that the model file and the image exist (else ends the process
// with status 1 and the fixed message), runs the network on the image,
// prints the result's length and the pose and, with -v, checks the pose
// against the expectation file (the verdict as one glog INFO record, the
// validation log in the working directory). Gives the exit status: 0 after a
// complete run, whatever the verdict; 2 when the network gave no pose.
int RunDriver(const Arguments& arg_val);

}  // namespace zor::test::driver
