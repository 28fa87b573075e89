#include "validator/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zor {
namespace test {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kEndingCount = sizeof kEndingSignals / sizeof kEndingSignals[0];
constexpr std::size_t kBufferBytes = 1 << 16;

// The temporary file that an ending signal removes, and the actions that
// were in place before. Touched by the handler only through these two.
char g_pending[4096];
volatile sig_atomic_t g_hasPending = 0;
struct sigaction g_savedEnding[kEndingCount];
struct sigaction g_savedFileSize;

extern "C" void RemovePendingFile(int signal)
{
    if (g_hasPending) {
        ::unlink(g_pending);
    }
    // Installed with SA_RESETHAND: the signal has its default action again.
    // Blocked while this handler runs, it ends the process when it returns.
    ::raise(signal);
}

// Holds the ending signals back for its lifetime, so that creating, naming
// and removing the temporary file and recording it happen as one step.
class EndingSignalsHeld {
public:
    EndingSignalsHeld()
    {
        sigset_t set;
        ::sigemptyset(&set);
        for (const int signal : kEndingSignals) {
            ::sigaddset(&set, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &set, &m_previous);
    }
    ~EndingSignalsHeld()
    {
        const int error = errno;
        ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
        errno = error;
    }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

// With the ending signals held: records the temporary file and puts the
// handlers in place of default actions (a signal that is ignored stays so).
void Arm(const std::string& temporary)
{
    std::memcpy(g_pending, temporary.c_str(), temporary.size() + 1);
    g_hasPending = 1;
    struct sigaction remove {};
    remove.sa_handler = RemovePendingFile;
    remove.sa_flags = SA_RESETHAND;
    ::sigemptyset(&remove.sa_mask);
    for (std::size_t i = 0; i < kEndingCount; ++i) {
        ::sigaction(kEndingSignals[i], nullptr, &g_savedEnding[i]);
        if (!(g_savedEnding[i].sa_flags & SA_SIGINFO) && g_savedEnding[i].sa_handler == SIG_DFL) {
            ::sigaction(kEndingSignals[i], &remove, nullptr);
        }
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, &g_savedFileSize);
}

// With the ending signals held: the temporary file is gone or named.
void Disarm()
{
    g_hasPending = 0;
    for (std::size_t i = 0; i < kEndingCount; ++i) {
        ::sigaction(kEndingSignals[i], &g_savedEnding[i], nullptr);
    }
    ::sigaction(SIGXFSZ, &g_savedFileSize, nullptr);
}

// True when `path` does not exist or is a regular file; otherwise errno says
// why it may not be written.
bool MayReplace(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
        return false;
    }
    return true;
}

}  // namespace

AtomicFile::AtomicFile(std::string path, std::string suffix) : m_path(std::move(path)), m_suffix(std::move(suffix))
{
}

AtomicFile::~AtomicFile()
{
    Discard();
}

bool AtomicFile::Open()
{
    if (m_armed || g_hasPending) {
        errno = EBUSY;
        return false;
    }
    if (!MayReplace(m_path)) {
        return false;
    }
    const std::string pattern = m_path + ".XXXXXX" + m_suffix;
    if (pattern.size() >= sizeof g_pending) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    int descriptor = -1;
    {
        const EndingSignalsHeld held;
        descriptor = ::mkstemps(name.data(), static_cast<int>(m_suffix.size()));
        if (descriptor < 0) {
            return false;
        }
        m_temporary = name.data();
        Arm(m_temporary);
        m_armed = true;
    }
    // mkstemp makes the file private; a log is as readable as any new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(descriptor, 0666 & ~mask);
    m_buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(descriptor, std::ios::out | std::ios::binary,
                                                                kBufferBytes);
    if (!m_buffer->is_open()) {
        ::close(descriptor);
        m_buffer.reset();
        Discard();
        errno = EIO;
        return false;
    }
    m_stream = std::make_unique<std::ostream>(m_buffer.get());
    return true;
}

std::ostream& AtomicFile::Stream()
{
    return *m_stream;
}

bool AtomicFile::Close()
{
    if (!m_buffer) {
        return false;
    }
    m_stream->flush();
    const bool written = !m_stream->fail();
    const bool closed = m_buffer->close() != nullptr;
    m_stream.reset();
    m_buffer.reset();
    return written && closed;
}

bool AtomicFile::Commit(bool replace)
{
    if (!m_armed || m_buffer) {
        errno = EINVAL;
        return false;
    }
    if (!MayReplace(m_path)) {
        return false;
    }
    const EndingSignalsHeld held;
    int result = 0;
    if (replace) {
        result = ::rename(m_temporary.c_str(), m_path.c_str());
    } else {
        result = ::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, m_path.c_str(), RENAME_NOREPLACE);
        // A file system without the flag: a new link fails on a name that exists.
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            result = ::link(m_temporary.c_str(), m_path.c_str());
            if (result == 0) {
                ::unlink(m_temporary.c_str());
            }
        }
    }
    if (result != 0) {
        return false;
    }
    m_temporary.clear();
    m_armed = false;
    Disarm();
    return true;
}

void AtomicFile::Discard()
{
    const int error = errno;
    m_stream.reset();
    m_buffer.reset();
    if (m_armed) {
        const EndingSignalsHeld held;
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
        m_armed = false;
        Disarm();
    }
    errno = error;
}

}  // namespace test
}  // namespace zor
