#include "safe_file/atomic_file.h"

#include "safe_file/ending_signals.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string>

namespace zor::test::safe_file {
namespace {

constexpr std::size_t kEndingCount = sizeof kEndingSignals / sizeof kEndingSignals[0];
constexpr std::size_t kBufferBytes = 1 << 16;
constexpr std::size_t kPathBytes = 4096;
constexpr std::size_t kNameBytes = 255;  // the longest name of one folder entry
constexpr std::size_t kRandomLetters = 6;
constexpr int kAttempts = 100;

// The temporary files that an ending signal removes, in a list that only
// grows: an entry is reused once its file is gone. An entry's path is
// written before it is marked used and read by the handler only while it
// is, and an entry is linked in whole, so the handler needs no lock.
struct PendingFile {
    std::atomic<bool> used{false};
    char path[kPathBytes];
    PendingFile* next = nullptr;
};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads the entries' marks");
static_assert(std::atomic<PendingFile*>::is_always_lock_free, "the signal handler walks the list");
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the count of files being made");
std::atomic<PendingFile*> g_pending{nullptr};

// Set by the handler; a file is made only while it is not set, and the
// handler waits for the files being made, so none appears after it ran.
std::atomic<bool> g_ending{false};
std::atomic<int> g_creating{0};

// The handlers are in place while any entry is used; the actions that were
// in place before are restored when the last one is freed.
std::mutex g_armMutex;
std::size_t g_armedCount = 0;
struct sigaction g_savedEnding[kEndingCount];
struct sigaction g_savedFileSize;

extern "C" void RemovePendingFiles(int signal)
{
    StopMakingFiles();
    EndBySignal(signal);
}

// With the ending signals held: records the temporary file and, for the
// first one, puts the handlers in place of default actions (a signal that is
// ignored stays so). The file's entry, or null when none can be had.
PendingFile* Arm(const std::string& temporary)
{
    const std::lock_guard<std::mutex> lock(g_armMutex);
    PendingFile* file = g_pending.load(std::memory_order_relaxed);
    while (file != nullptr && file->used.load(std::memory_order_relaxed)) {
        file = file->next;
    }
    if (file == nullptr) {
        file = new (std::nothrow) PendingFile;
        if (file == nullptr) {
            return nullptr;
        }
        file->next = g_pending.load(std::memory_order_relaxed);
        g_pending.store(file, std::memory_order_release);
    }
    std::memcpy(file->path, temporary.c_str(), temporary.size() + 1);
    file->used.store(true, std::memory_order_release);
    if (g_armedCount++ == 0) {
        struct sigaction remove {};
        remove.sa_handler = RemovePendingFiles;
        remove.sa_flags = SA_RESETHAND;
        ::sigemptyset(&remove.sa_mask);
        for (std::size_t i = 0; i < kEndingCount; ++i) {
            ::sigaction(kEndingSignals[i], nullptr, &g_savedEnding[i]);
            if (HasDefaultAction(kEndingSignals[i])) {
                ::sigaction(kEndingSignals[i], &remove, nullptr);
            }
        }
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, &g_savedFileSize);
    }
    return file;
}

// With the ending signals held: the entry's file is gone or named.
void Disarm(PendingFile* file)
{
    const std::lock_guard<std::mutex> lock(g_armMutex);
    file->used.store(false, std::memory_order_release);
    if (--g_armedCount == 0) {
        for (std::size_t i = 0; i < kEndingCount; ++i) {
            ::sigaction(kEndingSignals[i], &g_savedEnding[i], nullptr);
        }
        ::sigaction(SIGXFSZ, &g_savedFileSize, nullptr);
    }
}

// `path`'s temporary name: its name, shortened where the whole would not fit
// in a folder entry, a dot, six random letters and `suffix`. Empty, with
// errno set, when there is none.
std::string TemporaryName(const std::string& path, const std::string& suffix)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[kRandomLetters];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        return "";
    }
    std::string tail = ".";
    for (const unsigned char byte : random) {
        tail += kLetters[byte % (sizeof kLetters - 1)];
    }
    tail += suffix;
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t nameBytes = path.size() - nameStart;
    if (tail.size() >= kNameBytes) {
        errno = ENAMETOOLONG;
        return "";
    }
    const std::size_t kept = std::min(nameBytes, kNameBytes - tail.size());
    std::string name = path.substr(0, nameStart + kept) + tail;
    if (name.size() >= kPathBytes) {
        errno = ENAMETOOLONG;
        return "";
    }
    return name;
}

// True when `path` does not exist (`info` then has st_nlink 0) or is a
// regular file (`info` describes it); otherwise errno says why it may not be
// written.
bool MayReplace(const std::string& path, struct stat& info)
{
    info = {};
    if (::lstat(path.c_str(), &info) != 0) {
        info = {};
        return errno == ENOENT;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
        return false;
    }
    return true;
}

}  // namespace

void StopMakingFiles()
{
    g_ending.store(true);
    // A file being made on another thread (at most a system call away) is
    // waited for, up to a second, so that it is removed too.
    const struct timespec pause = {0, 1000000};
    for (int i = 0; i < 1000 && g_creating.load() > 0; ++i) {
        ::nanosleep(&pause, nullptr);
    }
    for (PendingFile* file = g_pending.load(std::memory_order_acquire); file != nullptr; file = file->next) {
        if (file->used.load(std::memory_order_acquire)) {
            ::unlink(file->path);
        }
    }
}

MakingFile::MakingFile()
{
    g_creating.fetch_add(1);
    m_allowed = !g_ending.load();
}

MakingFile::~MakingFile()
{
    g_creating.fetch_sub(1);
}

AtomicFile::AtomicFile(std::string path, std::string suffix) : m_path(std::move(path)), m_suffix(std::move(suffix))
{
}

AtomicFile::~AtomicFile()
{
    Discard();
}

bool AtomicFile::Open()
{
    if (m_pending != nullptr) {
        errno = EBUSY;
        return false;
    }
    struct stat existing {};
    if (!MayReplace(m_path, existing)) {
        return false;
    }
    {
        // The file is recorded before it is made: an ending signal that
        // comes meanwhile, on any thread, finds it.
        const EndingSignalsHeld held;
        for (int attempt = 0; attempt < kAttempts && m_pending == nullptr; ++attempt) {
            const std::string name = TemporaryName(m_path, m_suffix);
            if (name.empty()) {
                return false;
            }
            PendingFile* pending = Arm(name);
            if (pending == nullptr) {
                errno = ENOMEM;
                return false;
            }
            int descriptor = -1;
            int error = EINTR;
            {
                const MakingFile making;
                if (making.Allowed()) {
                    descriptor = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
                    error = errno;
                }
            }
            if (descriptor < 0) {
                Disarm(pending);
                if (error != EEXIST) {
                    errno = error;
                    return false;
                }
                continue;
            }
            m_pending = pending;
            m_temporary = name;
            m_descriptor = descriptor;
        }
    }
    if (m_pending == nullptr) {
        errno = EEXIST;
        return false;
    }
    const int streamDescriptor = ::fcntl(m_descriptor, F_DUPFD_CLOEXEC, 0);
    if (streamDescriptor < 0) {
        Discard();
        return false;
    }
    m_buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(streamDescriptor, std::ios::out | std::ios::binary,
                                                                kBufferBytes);
    if (!m_buffer->is_open()) {
        ::close(streamDescriptor);
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
    if (m_pending == nullptr || m_buffer) {
        errno = EINVAL;
        return false;
    }
    struct stat existing {};
    if (!MayReplace(m_path, existing)) {
        return false;
    }
    if (replace && existing.st_nlink != 0) {
        // The replaced file's owner, group and permissions, as far as this
        // process may give them (a group it belongs to; any, as root).
        if (::fchown(m_descriptor, existing.st_uid, existing.st_gid) != 0) {
            static_cast<void>(::fchown(m_descriptor, static_cast<uid_t>(-1), existing.st_gid));
        }
        if (::fchmod(m_descriptor, existing.st_mode & 07777) != 0) {
            return false;
        }
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
    ::close(m_descriptor);
    m_descriptor = -1;
    m_temporary.clear();
    Disarm(static_cast<PendingFile*>(m_pending));
    m_pending = nullptr;
    return true;
}

void AtomicFile::Discard()
{
    const int error = errno;
    m_stream.reset();
    m_buffer.reset();
    if (m_pending != nullptr) {
        const EndingSignalsHeld held;
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
        Disarm(static_cast<PendingFile*>(m_pending));
        m_pending = nullptr;
    }
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
    errno = error;
}

}  // namespace zor::test::safe_file
