#pragma once

// SIGINT, SIGTERM and SIGHUP: the signals that end a program early. The
// whole-file writer and the suite take them over the same way: only where
// they have their default action (one that is ignored or has a handler is
// left as it is), held back while files are made and named, and, once what
// was left half-done is removed, the process ends by the signal as it would
// have without them.

#include <signal.h>

namespace zor::test::safe_file {

inline constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// True when `signal`'s action is the default one.
bool HasDefaultAction(int signal);

// The ending signals that have their default action.
sigset_t DefaultEndingSignals();

// Holds the ending signals back on this thread for its lifetime.
class EndingSignalsHeld {
public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

// From now on no file or folder is made through this library (AtomicFile,
// MakeFolder): waits, up to a second, for those being made, then removes
// every temporary file still pending. What an ending signal does before the
// process ends by it; safe in a signal handler.
void StopMakingFiles();

// Marks a file or folder being made for its lifetime, so that
// StopMakingFiles waits for it; Allowed() is false once StopMakingFiles ran
// (nothing may then be made).
class MakingFile {
public:
    MakingFile();
    ~MakingFile();
    MakingFile(const MakingFile&) = delete;
    MakingFile& operator=(const MakingFile&) = delete;

    bool Allowed() const { return m_allowed; }

private:
    bool m_allowed;
};

// Ends the process by `signal` with its default action, as it would have
// ended; the status 128 + `signal` if that does not end it. Safe in a signal
// handler.
[[noreturn]] void EndBySignal(int signal);

}  // namespace zor::test::safe_file
