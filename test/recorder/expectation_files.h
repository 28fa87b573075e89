#pragma once

// The expectation files the recorder may write and read: names that
// test_facepose reads, never the image itself, never through a link.

#include <optional>
#include <string>

namespace zor::test::recorder {

// Why `output_path` cannot take an expectation recorded from `pic_path`: a
// name whose extension the validator refuses, or the image itself (the
// same file, by device and inode). Empty when it can.
std::string OutputRefusal(const std::string& output_path, const std::string& pic_path);

// Whether the file `path` may not be written: it has no write permission
// bit (which binds even a process that may write anything), or this process
// may not write it.
bool IsReadOnly(const std::string& path);

// The content of the regular file `path`, never read through a link;
// nothing when it cannot be read.
std::optional<std::string> ReadRegularFile(const std::string& path);

}  // namespace zor::test::recorder
