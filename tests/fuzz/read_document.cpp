// Reads one document with OpenCV's reader alone, nothing of ours: the fuzz
// script tells OpenCV's own endless reads from hangs in our code with it.
//
//   read_document FILE     status 0 once the read ends, parsed or not

#include <fstream>
#include <iterator>
#include <string>

#include <opencv2/core.hpp>

int main(int argc, char** argv)
{
    if (argc != 2) {
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    try {
        cv::FileStorage storage(text, cv::FileStorage::READ | cv::FileStorage::MEMORY);
    } catch (const cv::Exception&) {
        // A document that does not parse ends the read too.
    }
    return 0;
}
