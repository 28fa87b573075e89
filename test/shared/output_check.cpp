#include "shared/output_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace zor::test::shared {
namespace {

const char* g_program = "";
int g_closedAtStart = 0;  // EBADF when standard output was closed at start

void CheckOutput()
{
    std::cout.flush();
    int error = OutputError(stdout, std::cout.fail());
    if (g_closedAtStart != 0) {
        error = g_closedAtStart;
    }
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot write standard output: %s\n", g_program, std::strerror(error));
        std::_Exit(kExitOutputLost);
    }
}

}  // namespace

int OutputError(std::FILE* stream, bool failed)
{
    errno = 0;
    const bool flushed = std::fflush(stream) == 0;
    if (flushed && !std::ferror(stream) && !failed) {
        return 0;
    }
    // A write that failed earlier leaves no reason behind; write the
    // stream's next byte again to learn it.
    int error = errno != 0 ? errno : EIO;
    if (flushed && ::write(::fileno(stream), "\n", 1) < 0) {
        error = errno;
    }
    return error;
}

void OpenStandardDescriptors()
{
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(descriptor, F_GETFD) < 0 && errno == EBADF) {
            // The lower descriptors are open: this one is the lowest free.
            const int null = ::open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (descriptor == STDOUT_FILENO) {
                g_closedAtStart = EBADF;
            }
            if (null >= 0 && null != descriptor) {
                ::close(null);
            }
        }
    }
}

void CheckOutputAtExit(const char* program)
{
    g_program = program;
    if (::fcntl(STDOUT_FILENO, F_GETFD) < 0 && errno == EBADF) {
        g_closedAtStart = EBADF;
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0 && null != STDOUT_FILENO) {
            ::dup2(null, STDOUT_FILENO);
            ::close(null);
        }
    }
    std::atexit(CheckOutput);
}

}  // namespace zor::test::shared
