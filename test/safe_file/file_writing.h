#pragma once

// Whole files and the folders that hold them, never through a link.

#include <string>

namespace zor::test::safe_file {

// Makes the folder `path` (and its parents) unless it exists; false when it
// cannot be made or when it is not a folder of its own (a link, a file).
bool MakeFolder(const std::string& path);

// Writes `bytes` to `path` through a temporary file beside it and a rename;
// false, leaving no file, when that fails or when `path` is something other
// than a regular file (a link, a FIFO, a device, a folder).
bool WriteWhole(const std::string& path, const std::string& bytes);

// Removes `path` when it is a regular file (a result of an earlier run).
void RemoveOldFile(const std::string& path);

}  // namespace zor::test::safe_file
