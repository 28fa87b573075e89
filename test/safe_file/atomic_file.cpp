#include "safe_file/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace zor {
namespace safe_file {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kEndingCount = sizeof kEndingSignals / sizeof kEndingSignals[0];
constexpr std::size_t kBufferBytes = 1 << 16;
constexpr std::size_t kPathBytes = 4096;

// The temporary files that an ending signal removes, one slot each. A slot's
// path is written before it is marked used and read by the handler only
// while it is, so the handler needs no lock.
struct PendingSlot {
    std::atomic<bool> used{false};
    char path[kPathBytes];
};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads the slots' marks");
PendingSlot g_pending[AtomicFile::kMostPending];

// The handlers are in place while any slot is used; the actions that were
// in place before are restored when the last one is freed.
std::mutex g_armMutex;
std::size_t g_armedCount = 0;
struct sigaction g_savedEnding[kEndingCount];
struct sigaction g_savedFileSize;

extern "C" void RemovePendingFiles(int signal)
{
    for (PendingSlot& slot : g_pending) {
        if (slot.used.load(std::memory_order_acquire)) {
            ::unlink(slot.path);
        }
    }
    // Installed with SA_RESETHAND: the signal has its default action again.
    // Blocked while this handler runs, it ends the process when it returns.
    ::raise(signal);
}

// Holds the ending signals back on this thread for its lifetime, so that
// creating, naming and removing the temporary file and recording it happen
// as one step.
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

// With the ending signals held: records the temporary file and, for the
// first one, puts the handlers in place of default actions (a signal that is
// ignored stays so). The slot's index, or -1 when every slot is used.
int Arm(const std::string& temporary)
{
    const std::lock_guard<std::mutex> lock(g_armMutex);
    for (std::size_t index = 0; index < AtomicFile::kMostPending; ++index) {
        PendingSlot& slot = g_pending[index];
        if (slot.used.load(std::memory_order_relaxed)) {
            continue;
        }
        std::memcpy(slot.path, temporary.c_str(), temporary.size() + 1);
        slot.used.store(true, std::memory_order_release);
        if (g_armedCount++ == 0) {
            struct sigaction remove {};
            remove.sa_handler = RemovePendingFiles;
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
        return static_cast<int>(index);
    }
    return -1;
}

// With the ending signals held: the slot's file is gone or named.
void Disarm(int index)
{
    const std::lock_guard<std::mutex> lock(g_armMutex);
    g_pending[index].used.store(false, std::memory_order_release);
    if (--g_armedCount == 0) {
        for (std::size_t i = 0; i < kEndingCount; ++i) {
            ::sigaction(kEndingSignals[i], &g_savedEnding[i], nullptr);
        }
        ::sigaction(SIGXFSZ, &g_savedFileSize, nullptr);
    }
}

// Creates `stem` + six random letters + `suffix` exclusively, with the
// permissions of any new file (0666 less the umask), never through a link.
// The descriptor, or -1 with errno set.
int CreateExclusively(const std::string& stem, const std::string& suffix, std::string& name)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            return -1;
        }
        name = stem;
        for (const unsigned char byte : random) {
            name += kLetters[byte % (sizeof kLetters - 1)];
        }
        name += suffix;
        const int descriptor = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
    errno = EEXIST;
    return -1;
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
    if (m_slot >= 0) {
        errno = EBUSY;
        return false;
    }
    if (!MayReplace(m_path)) {
        return false;
    }
    const std::string stem = m_path + ".";
    if (stem.size() + 6 + m_suffix.size() >= kPathBytes) {
        errno = ENAMETOOLONG;
        return false;
    }
    int descriptor = -1;
    {
        const EndingSignalsHeld held;
        std::string name;
        descriptor = CreateExclusively(stem, m_suffix, name);
        if (descriptor < 0) {
            return false;
        }
        m_slot = Arm(name);
        if (m_slot < 0) {
            ::close(descriptor);
            ::unlink(name.c_str());
            errno = EBUSY;
            return false;
        }
        m_temporary = name;
    }
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
    if (m_slot < 0 || m_buffer) {
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
    Disarm(m_slot);
    m_slot = -1;
    return true;
}

void AtomicFile::Discard()
{
    const int error = errno;
    m_stream.reset();
    m_buffer.reset();
    if (m_slot >= 0) {
        const EndingSignalsHeld held;
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
        Disarm(m_slot);
        m_slot = -1;
    }
    errno = error;
}

}  // namespace safe_file
}  // namespace zor
