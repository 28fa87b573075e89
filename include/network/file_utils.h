#pragma once

#include <string>

namespace zor {
namespace utils {

// True when `path` names an existing regular file (symbolic links followed).
bool FileExist(const std::string& path);

// The name under which a file given as `path` is created: a bare file name
// comes back unchanged, so the file lands in the working directory.
std::string GetFilename(const std::string& path);

}  // namespace utils
}  // namespace zor
