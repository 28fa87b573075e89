#include "expectation_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "validator/text_utils.h"

namespace zor::test::recorder {
namespace {

// An open descriptor, closed when it goes.
struct Descriptor {
    explicit Descriptor(int fd) : value(fd) {}
    ~Descriptor()
    {
        if (value >= 0) {
            ::close(value);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    const int value;
};

}  // namespace

std::string OutputRefusal(const std::string& output_path, const std::string& pic_path)
{
    if (GetFileExtType(output_path) != "nkvalid") {
        return "the name does not end in .nkvalid, so test_facepose would refuse it (\"Invalid file extension.\")";
    }
    struct stat output {};
    struct stat image {};
    if (::lstat(output_path.c_str(), &output) == 0 && ::stat(pic_path.c_str(), &image) == 0 &&
        output.st_dev == image.st_dev && output.st_ino == image.st_ino) {
        return "it is the image itself";
    }
    return "";
}

bool IsReadOnly(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 &&
           ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0);
}

std::optional<std::string> ReadRegularFile(const std::string& path)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    std::optional<std::string> text;
    if (file.value >= 0 && ::fstat(file.value, &status) == 0 && S_ISREG(status.st_mode)) {
        text.emplace();
        char buffer[8192];
        ssize_t got = 0;
        while ((got = ::read(file.value, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
            text->append(buffer, static_cast<std::size_t>(got > 0 ? got : 0));
        }
        if (got < 0) {
            text.reset();
        }
    }
    return text;
}

}  // namespace zor::test::recorder
