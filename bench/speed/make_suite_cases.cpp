// Makes a case folder for facepose_suite from photos: each photo turned by a
// range of angles about its centre and by 90, 180 and -90 degrees, as it is
// and mirrored, one sub-folder per image (the expectations are recorded
// afterwards with record_facepose). With --no-face, also the images without
// a face of bench/helpers/no_face_images.h, made from CAMERA_PHOTO, in
// sub-folders named no-face-*.
//
// Usage: make_suite_cases [--no-face CAMERA_PHOTO] OUT_DIR MAX_DEGREES STEP_DEGREES PHOTO...

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "helpers/no_face_images.h"

namespace {

bool WriteCase(const std::string& folder, const cv::Mat& image)
{
    if (::mkdir(folder.c_str(), 0755) != 0 || !cv::imwrite(folder + "/photo.png", image)) {
        std::fprintf(stderr, "make_suite_cases: cannot write %s\n", folder.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string noFaceSource;
    if (argc >= 3 && std::string(argv[1]) == "--no-face") {
        noFaceSource = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc < 5) {
        std::fprintf(stderr, "Usage: make_suite_cases [--no-face CAMERA_PHOTO] OUT_DIR MAX_DEGREES STEP_DEGREES PHOTO...\n");
        return 255;
    }
    const std::string out = argv[1];
    const int max_degrees = std::atoi(argv[2]);
    const int step = std::atoi(argv[3]);
    if (step <= 0 || max_degrees < 0) {
        std::fprintf(stderr, "make_suite_cases: the step must be positive, the range not negative\n");
        return 255;
    }
    int made = 0;
    for (int p = 4; p < argc; ++p) {
        const cv::Mat photo = cv::imread(argv[p], cv::IMREAD_COLOR);
        if (photo.empty()) {
            std::fprintf(stderr, "make_suite_cases: cannot read %s\n", argv[p]);
            return 1;
        }
        std::string stem = argv[p];
        stem = stem.substr(stem.rfind('/') + 1);
        stem = stem.substr(0, stem.rfind('.'));
        for (const bool mirrored : {false, true}) {
            cv::Mat source;
            if (mirrored) {
                cv::flip(photo, source, 1);
            } else {
                source = photo;
            }
            std::vector<int> turns;
            for (int degrees = -max_degrees; degrees <= max_degrees; degrees += step) {
                turns.push_back(degrees);
            }
            turns.insert(turns.end(), {90, 180, -90});
            for (const int degrees : turns) {
                const cv::Point2f centre(source.cols / 2.0f, source.rows / 2.0f);
                cv::Mat turned;
                cv::warpAffine(source, turned, cv::getRotationMatrix2D(centre, degrees, 1.0), source.size());
                char name[256];
                std::snprintf(name, sizeof name, "%s%s-%+04d", stem.c_str(), mirrored ? "-mirrored" : "", degrees);
                if (!WriteCase(out + "/" + name, turned)) {
                    return 1;
                }
                ++made;
            }
        }
    }
    if (!noFaceSource.empty()) {
        const cv::Mat camera = cv::imread(noFaceSource, cv::IMREAD_COLOR);
        if (camera.empty()) {
            std::fprintf(stderr, "make_suite_cases: cannot read %s\n", noFaceSource.c_str());
            return 1;
        }
        for (const auto& [name, image] : zor::bench::NoFaceImages(camera)) {
            if (!WriteCase(out + "/no-face-" + name, image)) {
                return 1;
            }
            ++made;
        }
    }
    std::printf("%d cases\n", made);
    return 0;
}
