// stage_probe: times, each on its own, the stages of a test_facepose run that
// are not the program's own work: reading the image, loading the model (the
// network object's constructor) and running the network (Detect).
//
//   stage_probe MODEL_DIR IMAGE REPEATS
//
// Every stage runs REPEATS times in this process, after one warm-up round
// that is not counted; prints "imread <s>", "load <s>" and "detect <s>", the
// median seconds of one call, one per line.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "network/facepose.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

template <typename Stage>
double TimeStage(int repeats, Stage stage)
{
    stage();  // warm-up: page cache, lazy symbol binding, first allocations
    std::vector<double> seconds;
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        stage();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return Median(seconds);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MODEL_DIR IMAGE REPEATS\n", argv[0]);
        return 2;
    }
    const std::string model = std::string(argv[1]) + "/light_rpoly_lmp_iter_75000_w_scale.nmodel";
    const std::string image_path = argv[2];
    const int repeats = std::max(1, std::atoi(argv[3]));

    cv::Mat image;
    const double imread = TimeStage(repeats, [&] { image = cv::imread(image_path, 1); });
    if (image.empty()) {
        std::fprintf(stderr, "stage_probe: cannot read %s\n", argv[2]);
        return 1;
    }
    const double load = TimeStage(repeats, [&] { zor::vision::Facepose network(model, nullptr); });

    const std::vector<cv::Mat> images{image};
    zor::vision::Facepose network(model, nullptr);
    std::vector<std::vector<float>> results;
    const double detect = TimeStage(repeats, [&] {
        results.clear();
        network.Detect(images, results);
    });
    if (results.empty()) {
        std::fprintf(stderr, "stage_probe: the network gave no result\n");
        return 1;
    }
    std::printf("imread %.6f\nload %.6f\ndetect %.6f\n", imread, load, detect);
    return 0;
}
