// image_read_bench IMAGE: reads the image as test_facepose does and exits;
// the baseline of the whole-process timing.
#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv)
{
    return argc == 2 && !cv::imread(argv[1], cv::IMREAD_COLOR).empty() ? 0 : 1;
}
