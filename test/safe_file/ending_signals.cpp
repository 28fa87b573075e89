#include "safe_file/ending_signals.h"

#include <pthread.h>

#include <cerrno>
#include <cstdlib>

namespace zor::test::safe_file {

bool HasDefaultAction(int signal)
{
    struct sigaction action {};
    return ::sigaction(signal, nullptr, &action) == 0 && !(action.sa_flags & SA_SIGINFO) &&
           action.sa_handler == SIG_DFL;
}

sigset_t DefaultEndingSignals()
{
    sigset_t set;
    ::sigemptyset(&set);
    for (const int signal : kEndingSignals) {
        if (HasDefaultAction(signal)) {
            ::sigaddset(&set, signal);
        }
    }
    return set;
}

EndingSignalsHeld::EndingSignalsHeld()
{
    sigset_t set;
    ::sigemptyset(&set);
    for (const int signal : kEndingSignals) {
        ::sigaddset(&set, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &set, &m_previous);
}

EndingSignalsHeld::~EndingSignalsHeld()
{
    const int error = errno;
    ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    errno = error;
}

void EndBySignal(int signal)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    sigset_t just;
    ::sigemptyset(&just);
    ::sigaddset(&just, signal);
    ::raise(signal);
    ::pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
    std::_Exit(128 + signal);
}

}  // namespace zor::test::safe_file
