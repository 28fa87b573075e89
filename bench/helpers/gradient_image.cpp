// gradient_image WIDTH HEIGHT OUT: writes a WIDTH x HEIGHT 8-bit colour
// image of smooth gradients (no face) to OUT, in the format its name's
// extension names. Large images for the estimator's memory figures are made
// with it when the benchmark runs instead of being kept in the repository.
#include <cstdio>
#include <cstdlib>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv)
{
    const int width = argc == 4 ? std::atoi(argv[1]) : 0;
    const int height = argc == 4 ? std::atoi(argv[2]) : 0;
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT OUT\n", argv[0]);
        return 2;
    }
    cv::Mat image(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        cv::Vec3b* row = image.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x) {
            row[x] = cv::Vec3b(static_cast<uchar>(x * 255LL / width), static_cast<uchar>(y * 255LL / height), 128);
        }
    }
    if (!cv::imwrite(argv[3], image)) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[3]);
        return 1;
    }
    return 0;
}
