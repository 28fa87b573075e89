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

// Ends the process by `signal` with its default action, as it would have
// ended; the status 128 + `signal` if that does not end it. Safe in a signal
// handler.
[[noreturn]] void EndBySignal(int signal);

}  // namespace zor::test::safe_file
