#include "signal_watch.h"

#include <pthread.h>

#include <ctime>
#include <exception>

#include "safe_file/ending_signals.h"

namespace zor::test::suite {

SignalWatch::SignalWatch() : m_signals(zor::test::safe_file::DefaultEndingSignals())
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
    Stop();
    ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

void SignalWatch::EndBySignal()
{
    Stop();
    zor::test::safe_file::EndBySignal(m_received);
}

void SignalWatch::Stop()
{
    m_done = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void SignalWatch::Watch()
{
    const timespec wait = {0, 50 * 1000 * 1000};
    while (!m_done && m_received == 0) {
        const int signal = ::sigtimedwait(&m_signals, nullptr, &wait);
        if (signal > 0) {
            m_received = signal;
        }
    }
}

}  // namespace zor::test::suite
