// Fuzz target: the network library's model-file reader, both kinds ("fixed"
// and "landmark_pose"), as test_facepose reaches it: the input is written as
// the model file, a Facepose network is built from it and runs Detect on a
// small image.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "fuzz_support.h"
#include "network/facepose.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceStdout();
    // The library reports every unusable model through std::cerr; those lines
    // go nowhere. Sanitizer and libFuzzer reports write to the descriptor
    // and still reach standard error.
    static std::ofstream nowhere;
    std::cerr.rdbuf(nowhere.rdbuf());
    cv::setNumThreads(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const cv::Mat image = [] {
        cv::Mat picture(48, 64, CV_8UC3);
        cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(256));
        return picture;
    }();
    const std::string path = fuzz::ScratchPath("light_rpoly_lmp_iter_75000_w_scale.nmodel");
    fuzz::WriteFile(path, data, size);

    std::vector<std::vector<float>> results;
    {
        zor::vision::Facepose network(path, nullptr);
        network.Detect({image}, results);
    }
    // One result vector per image, whatever the model file holds.
    if (results.size() != 1) {
        std::abort();
    }
    return 0;
}
