#include "labelled_errors.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string_view>
#include <utility>

namespace zor::test::recorder {
namespace {

// Writes all of `text` to `descriptor`, as far as it goes.
void WriteAll(int descriptor, std::string_view text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t wrote = ::write(descriptor, text.data() + done, text.size() - done);
        if (wrote <= 0) {
            return;
        }
        done += static_cast<std::size_t>(wrote);
    }
}

}  // namespace

LabelledErrors::LabelledErrors(std::string label) : m_label(std::move(label))
{
    std::cerr.flush();
    std::fflush(stderr);
    m_capture = ::open(P_tmpdir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    m_saved = m_capture < 0 ? -1 : ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (m_saved < 0 || ::dup2(m_capture, STDERR_FILENO) < 0) {
        if (m_saved >= 0) {
            ::close(m_saved);
        }
        if (m_capture >= 0) {
            ::close(m_capture);
        }
        m_saved = m_capture = -1;
    }
}

LabelledErrors::~LabelledErrors()
{
    if (m_capture < 0) {
        return;
    }
    std::cerr.flush();
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    try {
        std::string lines;
        char buffer[4096];
        ssize_t got = 0;
        for (off_t at = 0; (got = ::pread(m_capture, buffer, sizeof buffer, at)) > 0; at += got) {
            lines.append(buffer, static_cast<std::size_t>(got));
        }
        std::string labelled;
        for (std::size_t begin = 0; begin < lines.size();) {
            const std::size_t end = std::min(lines.find('\n', begin), lines.size());
            labelled += m_label + lines.substr(begin, end - begin) + "\n";
            begin = end + 1;
        }
        WriteAll(STDERR_FILENO, labelled);
    } catch (const std::exception&) {
        // No memory to label them: the lines go out as they were written.
        char buffer[4096];
        ssize_t got = 0;
        for (off_t at = 0; (got = ::pread(m_capture, buffer, sizeof buffer, at)) > 0; at += got) {
            WriteAll(STDERR_FILENO, std::string_view(buffer, static_cast<std::size_t>(got)));
        }
    }
    ::close(m_capture);
}

}  // namespace zor::test::recorder
