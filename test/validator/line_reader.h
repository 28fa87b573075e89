#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace zor {
namespace test {

// Reads a regular file line by line through one reused buffer.
class LineReader {
public:
    LineReader() = default;
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Opens `path` for reading. Anything but a regular file (a directory, a
    // FIFO, a device) is refused, and the open never waits for a writer.
    bool Open(const std::string& path);

    // The next line without its line feed (a carriage return stays). The view
    // is valid until the next call. False at the end of the file.
    bool Next(std::string_view& line);

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::unique_ptr<std::FILE, FileCloser> m_file;
    char* m_buffer = nullptr;  // grown by getline, released with free
    std::size_t m_capacity = 0;
};

}  // namespace test
}  // namespace zor
