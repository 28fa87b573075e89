#pragma once

// What the fuzz targets share: a scratch folder of their own and a quiet
// standard output.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "scratch_dir.h"

namespace fuzz {

// A file in a folder of this process's own, removed at exit; libFuzzer's
// workers are separate processes and each gets its own folder.
inline std::string ScratchPath(const std::string& name)
{
    static const test_support::ScratchDir dir;
    return dir.Path(name);
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) {
        std::perror(path.c_str());
        std::abort();
    }
}

// The program prints summaries and check messages on standard output; the
// targets send them to /dev/null once, at start. libFuzzer reports on
// standard error, which stays.
inline void SilenceStdout()
{
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
}

}  // namespace fuzz
