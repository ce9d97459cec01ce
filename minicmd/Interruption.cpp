#include "minicmd/Interruption.h"

#include "minicmd/FileCopy.h"

#include <atomic>
#include <csignal>
#include <pthread.h>

namespace tarvik::minicmd {
namespace {

// Set by the handler, read by the walk and by every worker between chunks.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void onSignal(int signal)
{
    if (g_signal == 0) {
        g_signal = signal;
        return;
    }
    // Asked twice: the run may be stuck in a read that never returns.
    removeUnfinishedCopy();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void handleInterruptions()
{
    struct sigaction action
    {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a copy or a question waiting on a read is to stop now.
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int interruptingSignal()
{
    return g_signal;
}

QuietThreads::QuietThreads()
{
    sigset_t stopping;
    sigemptyset(&stopping);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopping, signal);
    ::pthread_sigmask(SIG_BLOCK, &stopping, &m_before);
}

QuietThreads::~QuietThreads()
{
    ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

} // namespace tarvik::minicmd
