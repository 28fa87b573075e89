#include "network/file_utils.h"

#include <sys/stat.h>

namespace zor {
namespace utils {

bool FileExist(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string GetFilename(const std::string& path)
{
    return path;
}

}  // namespace utils
}  // namespace zor
