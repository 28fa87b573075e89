#include "shared/output_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace facepose {
namespace {

const char* g_program = "";
int g_closedAtStart = 0;  // EBADF when standard output was closed at start

void CheckOutput()
{
    int error = g_closedAtStart;
    std::cout.flush();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (error == 0 && (!flushed || std::ferror(stdout) || std::cout.fail())) {
        // A write that failed earlier leaves no reason behind; write the
        // stream's next byte again to learn it.
        error = errno != 0 ? errno : EIO;
        if (flushed && ::write(STDOUT_FILENO, "\n", 1) < 0) {
            error = errno;
        }
    }
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot write standard output: %s\n", g_program, std::strerror(error));
        std::_Exit(kExitOutputLost);
    }
}

}  // namespace

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

}  // namespace facepose
