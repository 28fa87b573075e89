#pragma once

// What the fuzz targets share: a scratch folder of their own and a quiet
// standard output.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace fuzz {

// A folder for this process's files, made once; libFuzzer's workers are
// separate processes and each gets its own.
inline const std::string& ScratchDir()
{
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/zor-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        return pattern;
    }();
    return dir;
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
