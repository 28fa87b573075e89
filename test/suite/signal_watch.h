#pragma once

// SIGINT, SIGTERM and SIGHUP while the suite runs: blocked in every thread
// made after the watch is, and taken by a thread of its own instead. When
// one comes, that thread stops all making of files, runs the clean-up it was
// given (the run's staged files) and ends the process by the signal, at
// once, whatever the workers are doing (a worker may be blocked writing to a
// full pipe). A Hold() keeps it waiting while the report is switched to the
// new one. Without the thread (it could not start) the signals act as they
// would have. Only signals with their default action are taken (see
// safe_file/ending_signals.h).

#include <signal.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace zor::test::suite {

class SignalWatch {
public:
    // `clean_up` runs on the watch thread when a signal came; it must not
    // write to standard output or error, which may be blocked.
    explicit SignalWatch(std::function<void()> clean_up);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // While the lock lives, a signal that came waits.
    std::unique_lock<std::mutex> Hold() { return std::unique_lock<std::mutex>(m_hold); }

private:
    void Watch();

    std::function<void()> m_cleanUp;
    sigset_t m_signals;
    sigset_t m_before;
    std::mutex m_hold;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

}  // namespace zor::test::suite
