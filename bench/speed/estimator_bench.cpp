// estimator_bench [--threads N] MODEL PHOTO...: prints, per photo, the model
// load time and the median time of detection, landmarks and pose over
// repeated runs, then the whole search's time on the photo, on it in a
// larger canvas, upside down, and on a flat image. With --threads, OpenCV's
// parallel loops use N threads (cv::setNumThreads) instead of its default.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "facepose/estimator/pose_model_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(const std::function<void()>& work)
{
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--threads") {
        cv::setNumThreads(std::atoi(argv[2]));
        argv += 2;
        argc -= 2;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s [--threads N] MODEL PHOTO...\n", argv[0]);
        return 2;
    }
    std::printf("OpenCV threads: %d\n", cv::getNumThreads());
    std::shared_ptr<zor::NetModel> model;
    std::string error;
    const double loadMs = Milliseconds([&] {
        cv::FileStorage storage(argv[1], cv::FileStorage::READ);
        model = zor::estimator::ReadPoseModel(storage.root(), error);
    });
    auto* estimator = dynamic_cast<zor::estimator::PoseEstimator*>(model.get());
    if (estimator == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::printf("model load: %.1f ms\n", loadMs);
    const int runs = 20;
    for (int i = 2; i < argc; ++i) {
        const cv::Mat image = cv::imread(argv[i], cv::IMREAD_COLOR);
        if (image.empty()) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        std::vector<double> detect, landmarks, pose, total;
        for (int run = 0; run <= runs; ++run) {
            zor::estimator::PoseEstimate estimate;
            bool ok = true;
            const double d = Milliseconds([&] { ok = estimator->FindFace(image, estimate); });
            const double l = Milliseconds([&] { ok = ok && estimator->FindLandmarks(image, estimate); });
            const double p = Milliseconds([&] { ok = ok && estimator->FindPose(image.size(), estimate); });
            if (!ok) {
                std::fprintf(stderr, "no pose for %s\n", argv[i]);
                return 1;
            }
            if (run > 0) {  // the first run warms caches up
                detect.push_back(d);
                landmarks.push_back(l);
                pose.push_back(p);
                total.push_back(d + l + p);
            }
        }
        std::printf("%s (%dx%d), median of %d runs: detection %.2f ms, landmarks %.2f ms, "
                    "pose %.2f ms, together %.2f ms\n",
                    argv[i], image.cols, image.rows, runs, Median(detect), Median(landmarks),
                    Median(pose), Median(total));
        // The whole search, which looks further only when the first look
        // finds no confident, plausible face.
        cv::Mat canvas(image.rows * 2, image.cols * 2, image.type(), cv::Scalar::all(0));
        image.copyTo(canvas(cv::Rect(image.cols, image.rows, image.cols, image.rows)));
        cv::Mat upsideDown;
        cv::rotate(image, upsideDown, cv::ROTATE_180);
        const std::pair<const char*, cv::Mat> variants[] = {
            {"as it is", image},
            {"in a corner of a canvas twice its size", canvas},
            {"upside down", upsideDown},
            {"flat grey", cv::Mat(image.size(), image.type(), cv::Scalar::all(128))},
        };
        std::printf("  whole search, median of %d runs:", runs / 2);
        for (const auto& variant : variants) {
            std::vector<double> times;
            size_t values = 0;
            for (int run = 0; run <= runs / 2; ++run) {
                const double t = Milliseconds([&] { values = estimator->Run(variant.second).size(); });
                if (run > 0) {
                    times.push_back(t);
                }
            }
            std::printf(" %s %.1f ms%s;", variant.first, Median(times), values == 0 ? " (no face)" : "");
        }
        std::printf("\n");
    }
    return 0;
}
