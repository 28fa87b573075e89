#pragma once

// SIGINT, SIGTERM and SIGHUP while the cases run: blocked in every thread
// made after the watch is, and taken by a thread of its own instead, which
// tells the workers to stop after their case. The run then removes what it
// staged and ends by the same signal; the report folder keeps the last
// whole report. Without the thread (it could not start) the signals act as
// they would have. Only signals with their default action are taken (see
// safe_file/ending_signals.h).

#include <signal.h>

#include <atomic>
#include <thread>

namespace zor::test::suite {

class SignalWatch {
public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // The signal that came, or 0.
    int Received() const { return m_received; }

    // Ends the process by the signal that came, as it would have ended.
    [[noreturn]] void EndBySignal();

private:
    void Watch();
    void Stop();

    sigset_t m_signals;
    sigset_t m_before;
    std::atomic<bool> m_done{false};
    std::atomic<int> m_received{0};
    std::thread m_thread;
};

}  // namespace zor::test::suite
