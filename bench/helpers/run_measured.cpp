// run_measured: runs a command once and reports its wall time and peak memory.
//
//   run_measured OUT_FILE ERR_FILE -- PROGRAM [ARGS...]
//
// Standard output and standard error of the command go to OUT_FILE and
// ERR_FILE. Prints one line "<wall seconds> <peak RSS kB> <exit status>" on
// standard output; the peak is the child's ru_maxrss from wait4. Exits 0 when
// the child could be run, whatever its status, and 3 otherwise.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

double Now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool Redirect(const char* path, int target)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = dup2(fd, target) >= 0;
    close(fd);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "usage: %s OUT_FILE ERR_FILE -- PROGRAM [ARGS...]\n", argv[0]);
        return 3;
    }
    const double start = Now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 3;
    }
    if (child == 0) {
        if (!Redirect(argv[1], STDOUT_FILENO) || !Redirect(argv[2], STDERR_FILENO)) {
            _exit(126);
        }
        execv(argv[4], argv + 4);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("wait4");
        return 3;
    }
    const double wall = Now() - start;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (code == 126 || code == 127) {
        std::fprintf(stderr, "run_measured: cannot run %s\n", argv[4]);
        return 3;
    }
    std::printf("%.6f %ld %d\n", wall, usage.ru_maxrss, code);
    return 0;
}
