#include "safe_file/file_writing.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "safe_file/atomic_file.h"
#include "safe_file/ending_signals.h"

namespace zor::test::safe_file {

bool MakeFolder(const std::string& path)
{
    std::error_code error;
    {
        const MakingFile making;
        if (!making.Allowed()) {
            return false;
        }
        std::filesystem::create_directories(path, error);
    }
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool WriteWhole(const std::string& path, const std::string& bytes)
{
    AtomicFile file(path);
    if (!file.Open()) {
        return false;
    }
    file.Stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.Close() && file.Commit(true);
}

void RemoveOldFile(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        std::remove(path.c_str());
    }
}

}  // namespace zor::test::safe_file
