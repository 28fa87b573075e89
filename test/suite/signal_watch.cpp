#include "signal_watch.h"

#include <pthread.h>

#include <ctime>
#include <exception>
#include <utility>

#include "safe_file/ending_signals.h"

namespace zor::test::suite {

SignalWatch::SignalWatch(std::function<void()> clean_up)
    : m_cleanUp(std::move(clean_up)), m_signals(zor::test::safe_file::DefaultEndingSignals())
{
    ::pthread_sigmask(SIG_BLOCK, &m_signals, &m_before);
    try {
        m_thread = std::thread([this] { Watch(); });
    } catch (const std::exception&) {
        ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
}

SignalWatch::~SignalWatch()
{
    m_done = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // A signal that came meanwhile is delivered here, with its default action.
    ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

void SignalWatch::Watch()
{
    const timespec wait = {0, 50 * 1000 * 1000};
    int signal = 0;
    while (!m_done && signal <= 0) {
        signal = ::sigtimedwait(&m_signals, nullptr, &wait);
    }
    if (signal <= 0) {
        return;
    }
    const std::lock_guard<std::mutex> hold(m_hold);
    zor::test::safe_file::StopMakingFiles();
    try {
        m_cleanUp();
    } catch (const std::exception&) {
        // What is left is removed by the next run.
    }
    zor::test::safe_file::EndBySignal(signal);
}

}  // namespace zor::test::suite
