// estimator_bench [--threads N] [--geometry] MODEL PHOTO...: prints, per
// photo, the model load time and the median time of detection, landmarks
// and pose over repeated runs, then the whole search's time on the photo,
// on it in a larger canvas, upside down, and on a flat image. With
// --threads, OpenCV's parallel loops use N threads (cv::setNumThreads)
// instead of its default.
// With --geometry it prints instead, per photo, the whole search's time
// (the fastest of several runs) and pose on the photo turned in the image
// plane, with black and with replicated borders (relative to the upright
// photo, in the same run; then every 7.5 degrees round, with how much the
// landmark network's square moves on the face), and the detection rate and
// pose of the photo's face scaled to widths of 30 to 220 pixels at four
// places of a 640x480 frame, with the lowest best score of
// FaceDetector::Survey of the four.
// With --no-face it writes images without a face into FOLDER and prints
// the whole search's time on each against the astronaut's.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "facepose/estimator/pose_model_file.h"
#include "helpers/no_face_images.h"

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

struct Reading {
    bool found = false;
    float yaw = 0.0f;
    float pitch = 0.0f;
    float roll = 0.0f;
    double ms = 0.0;  // the fastest of the timed runs
};

// The whole search on `image`, timed over `runs` runs after a warm-up run.
// Other work on the machine only slows a run down: the fastest is kept.
Reading Read(zor::estimator::PoseEstimator& estimator, const cv::Mat& image, int runs)
{
    Reading reading;
    std::vector<double> times;
    std::vector<float> result;
    for (int run = 0; run <= runs; ++run) {
        const double t = Milliseconds([&] { result = estimator.Run(image); });
        if (run > 0) {
            times.push_back(t);
        }
    }
    reading.ms = runs > 0 ? *std::min_element(times.begin(), times.end()) : 0.0;
    if (result.size() == 139) {
        reading.found = true;
        reading.yaw = result[136] * 90.0f;
        reading.pitch = result[137] * 90.0f;
        reading.roll = result[138] * 90.0f;
    }
    return reading;
}

// The photo turned by `degrees` counter-clockwise about its centre, in a
// frame of its size (as bench/suite.sh's cases are made), the corners it
// uncovers black or filled by the nearest border pixel: the camera (focal
// length the width, principal point the centre) only rolls.
cv::Mat Turned(const cv::Mat& photo, double degrees, int border)
{
    cv::Mat turned;
    cv::warpAffine(photo, turned,
                   cv::getRotationMatrix2D(cv::Point2f(photo.cols / 2.0f, photo.rows / 2.0f), degrees, 1.0),
                   photo.size(), cv::INTER_LINEAR, border);
    return turned;
}

// The largest distance of the values from `from`.
float LargestChange(const std::vector<float>& values, float from)
{
    float largest = 0.0f;
    for (const float v : values) {
        largest = std::max(largest, std::abs(v - from));
    }
    return largest;
}

// The standard deviation of `values`.
double Spread(const std::vector<double>& values)
{
    double sum = 0.0, squares = 0.0;
    for (const double v : values) {
        sum += v;
        squares += v * v;
    }
    const double n = static_cast<double>(values.size());
    return n > 0 ? std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n))) : 0.0;
}

// The photo turned every 7.5 degrees round the full circle, one search each:
// how far yaw and pitch move from upright, and how much the square the
// landmark network sees moves on the face (its centre, side and angle taken
// back into the upright photo's frame), which is what moves them.
void PrintTurnSweep(zor::estimator::PoseEstimator& estimator, const cv::Mat& photo, int border)
{
    const double step = 7.5;
    std::vector<float> yaws, pitches;
    std::vector<double> xs, ys, sides, angles;
    float uprightYaw = 0.0f, uprightPitch = 0.0f;
    int found = 0, count = 0;
    for (double turn = 0.0; turn < 360.0; turn += step) {
        const cv::Mat turned = Turned(photo, turn, border);
        ++count;
        zor::estimator::PoseEstimate estimate;
        if (!estimator.FindPlausibleFace(turned, estimate) || !estimator.FindPose(turned.size(), estimate)) {
            continue;
        }
        ++found;
        if (turn == 0.0) {
            uprightYaw = estimate.pose.yaw;
            uprightPitch = estimate.pose.pitch;
        }
        yaws.push_back(estimate.pose.yaw);
        pitches.push_back(estimate.pose.pitch);
        cv::Mat toUpright;
        cv::invertAffineTransform(
            cv::getRotationMatrix2D(cv::Point2f(photo.cols / 2.0f, photo.rows / 2.0f), turn, 1.0), toUpright);
        // OpenCV puts a pixel's centre at whole coordinates, the estimator half a pixel further.
        std::vector<cv::Point2f> centre{estimate.landmarkRegion.center - cv::Point2f(0.5f, 0.5f)};
        cv::transform(centre, centre, toUpright);
        xs.push_back(centre[0].x);
        ys.push_back(centre[0].y);
        sides.push_back(estimate.landmarkRegion.size.width);
        angles.push_back(std::remainder(estimate.landmarkRegion.angle + turn, 360.0));
    }
    double meanSide = 0.0;
    for (const double side : sides) {
        meanSide += side / static_cast<double>(sides.size());
    }
    std::printf("  every %.1f degrees (%d turns): found %d/%d; largest change from upright: yaw %.2f, pitch %.2f; "
                "landmark square (standard deviation): centre %.2f, %.2f px, side %.1f%%, angle %.2f degrees\n",
                step, count, found, count, LargestChange(yaws, uprightYaw), LargestChange(pitches, uprightPitch),
                Spread(xs), Spread(ys), meanSide > 0.0 ? 100.0 * Spread(sides) / meanSide : 0.0, Spread(angles));
}

void PrintTurns(zor::estimator::PoseEstimator& estimator, const cv::Mat& photo, const char* name)
{
    const int runs = 7;
    const std::pair<int, const char*> borders[] = {{cv::BORDER_CONSTANT, "black"},
                                                   {cv::BORDER_REPLICATE, "replicated"}};
    for (const auto& border : borders) {
        std::printf("%s turned in the image plane, %s borders (whole search, fastest of %d runs):\n", name,
                    border.second, runs);
        std::printf("  %5s %9s %6s %8s %8s %8s\n", "turn", "ms", "cost", "yaw", "pitch", "roll");
        Reading upright;
        std::vector<float> yaws, pitches;
        double worst45 = 0.0, worstAll = 0.0;
        int found = 0, count = 0;
        for (const double turn : {0.0, 15.0, 30.0, 45.0, 60.0, 90.0, 135.0, 180.0, -15.0, -45.0, -90.0}) {
            const Reading r = Read(estimator, Turned(photo, turn, border.first), runs);
            if (turn == 0.0) {
                upright = r;
            }
            const double cost = upright.ms > 0.0 ? r.ms / upright.ms : 0.0;
            worstAll = std::max(worstAll, cost);
            if (std::abs(turn) <= 45.0) {
                worst45 = std::max(worst45, cost);
            }
            ++count;
            if (!r.found) {
                std::printf("  %+5.0f %9.1f %5.2fx  no face\n", turn, r.ms, cost);
                continue;
            }
            ++found;
            yaws.push_back(r.yaw);
            pitches.push_back(r.pitch);
            std::printf("  %+5.0f %9.1f %5.2fx %+8.2f %+8.2f %+8.2f\n", turn, r.ms, cost, r.yaw, r.pitch, r.roll);
        }
        std::printf("  found %d/%d; cost up to 45 degrees at most %.2fx, any turn at most %.2fx; "
                    "largest change from upright: yaw %.2f, pitch %.2f\n",
                    found, count, worst45, worstAll, LargestChange(yaws, upright.yaw),
                    LargestChange(pitches, upright.pitch));
        PrintTurnSweep(estimator, photo, border.first);
    }
}

void PrintSizes(zor::estimator::PoseEstimator& estimator, const cv::Mat& photo, const char* name)
{
    zor::estimator::PoseEstimate full;
    if (!estimator.FindFace(photo, full)) {
        std::printf("%s: no face at full size\n", name);
        return;
    }
    const Reading reference = Read(estimator, photo, 0);
    std::printf("%s scaled into a 640x480 frame at four places (face %.0f px wide at full size: yaw %+.2f, "
                "pitch %+.2f):\n",
                name, full.face.box.width, reference.yaw, reference.pitch);
    std::printf("  %5s %6s %9s %9s %9s %9s %9s %9s %6s\n", "width", "found", "yaw", "pitch", "yaw-full",
                "pitch-full", "spread", "ms", "best");
    const cv::Size frame(640, 480);
    for (const double width : {30.0, 40.0, 48.0, 56.0, 70.0, 90.0, 110.0, 150.0, 220.0}) {
        const double scale = width / full.face.box.width;
        cv::Mat scaled;
        cv::resize(photo, scaled, cv::Size(), scale, scale, scale < 1.0 ? cv::INTER_AREA : cv::INTER_LINEAR);
        // A photo larger than the frame keeps the frame's size about its face.
        const cv::Point face((full.face.box.tl() + full.face.box.br()) * (0.5 * scale));
        const cv::Size kept(std::min(scaled.cols, frame.width), std::min(scaled.rows, frame.height));
        const cv::Point from(std::clamp(face.x - kept.width / 2, 0, scaled.cols - kept.width),
                             std::clamp(face.y - kept.height / 2, 0, scaled.rows - kept.height));
        scaled = scaled(cv::Rect(from, kept));
        const cv::Point corner(frame.width - scaled.cols, frame.height - scaled.rows);
        const cv::Point places[] = {cv::Point(0, 0), corner, cv::Point(corner.x, 0), corner / 2};
        int found = 0;
        double yaw = 0.0, pitch = 0.0, ms = 0.0;
        float pitchLow = 1e9f, pitchHigh = -1e9f, best = 1.0f;
        for (const cv::Point& at : places) {
            cv::Mat canvas(frame, photo.type(), cv::Scalar::all(0));
            scaled.copyTo(canvas(cv::Rect(at, scaled.size())));
            const Reading r = Read(estimator, canvas, 3);
            best = std::min(best, estimator.Detector().Survey(canvas).BestScore());
            ms += r.ms / 4;
            if (r.found) {
                ++found;
                yaw += r.yaw;
                pitch += r.pitch;
                pitchLow = std::min(pitchLow, r.pitch);
                pitchHigh = std::max(pitchHigh, r.pitch);
            }
        }
        if (found == 0) {
            std::printf("  %5.0f %4d/4 %9s %9s %9s %9s %9s %9.1f %6.3f\n", width, found, "-", "-", "-", "-", "-",
                        ms, best);
            continue;
        }
        std::printf("  %5.0f %4d/4 %+9.2f %+9.2f %+9.2f %+9.2f %9.2f %9.1f %6.3f\n", width, found, yaw / found,
                    pitch / found, yaw / found - reference.yaw, pitch / found - reference.pitch, pitchHigh - pitchLow,
                    ms, best);
    }
}

// The whole search on each image without a face against the first photo
// (fastest of several runs each, in the same run); each image is written
// into `folder` for timing whole processes.
int PrintNoFace(zor::estimator::PoseEstimator& estimator, const cv::Mat& withFace, const cv::Mat& cameraPhoto,
                const std::string& folder)
{
    const int runs = 7;
    const Reading reference = Read(estimator, withFace, runs);
    std::printf("images without a face (whole search, fastest of %d runs) against the first photo (%.1f ms):\n",
                runs, reference.ms);
    std::printf("  %-20s %9s %6s %6s %s\n", "image", "ms", "cost", "best", "result");
    for (const auto& [name, image] : zor::bench::NoFaceImages(cameraPhoto)) {
        if (!cv::imwrite(folder + "/" + name + ".png", image)) {
            std::fprintf(stderr, "cannot write %s/%s.png\n", folder.c_str(), name.c_str());
            return 1;
        }
        const Reading r = Read(estimator, image, runs);
        std::printf("  %-20s %9.1f %5.2fx %6.3f %s\n", name.c_str(), r.ms, r.ms / reference.ms,
                    estimator.Detector().Survey(image).BestScore(), r.found ? "a face" : "no face");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--threads") {
        cv::setNumThreads(std::atoi(argv[2]));
        argv += 2;
        argc -= 2;
    }
    bool geometry = false;
    if (argc >= 2 && std::string(argv[1]) == "--geometry") {
        geometry = true;
        ++argv;
        --argc;
    }
    std::string noFaceFolder;
    if (argc >= 3 && std::string(argv[1]) == "--no-face") {
        noFaceFolder = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc < 3 || (!noFaceFolder.empty() && argc != 4)) {
        std::fprintf(stderr, "usage: %s [--threads N] [--geometry] MODEL PHOTO...\n"
                     "       %s --no-face FOLDER MODEL ASTRONAUT CAMERA\n", argv[0], argv[0]);
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
    if (!noFaceFolder.empty()) {
        const cv::Mat astronaut = cv::imread(argv[2], cv::IMREAD_COLOR);
        const cv::Mat camera = cv::imread(argv[3], cv::IMREAD_COLOR);
        if (astronaut.empty() || camera.empty()) {
            std::fprintf(stderr, "cannot read %s or %s\n", argv[2], argv[3]);
            return 1;
        }
        return PrintNoFace(*estimator, astronaut, camera, noFaceFolder);
    }
    if (geometry) {
        for (int i = 2; i < argc; ++i) {
            const cv::Mat image = cv::imread(argv[i], cv::IMREAD_COLOR);
            if (image.empty()) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 1;
            }
            PrintTurns(*estimator, image, argv[i]);
            PrintSizes(*estimator, image, argv[i]);
        }
        return 0;
    }
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
