#include "validator/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>

namespace zor {
namespace test {

LineReader::~LineReader()
{
    std::free(m_buffer);
}

bool LineReader::Open(const std::string& path)
{
    // O_NONBLOCK keeps the open of a FIFO from waiting; such files are refused
    // right after, and reads from a regular file ignore the flag.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    std::FILE* file = ::fdopen(fd, "r");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    m_file.reset(file);
    return true;
}

bool LineReader::Next(std::string_view& line)
{
    if (!m_file) {
        return false;
    }
    const ssize_t read = ::getline(&m_buffer, &m_capacity, m_file.get());
    if (read < 0) {
        return false;
    }
    std::size_t length = static_cast<std::size_t>(read);
    if (length > 0 && m_buffer[length - 1] == '\n') {
        --length;
    }
    line = std::string_view(m_buffer, length);
    return true;
}

}  // namespace test
}  // namespace zor
