#include "playback/TerminationSignals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

TerminationSignals::TerminationSignals()
{
    sigemptyset(&m_set);
    sigaddset(&m_set, SIGINT);
    sigaddset(&m_set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_set, &m_saved);
    m_fd = ::signalfd(-1, &m_set, SFD_CLOEXEC | SFD_NONBLOCK);
}

TerminationSignals::~TerminationSignals()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    pthread_sigmask(SIG_SETMASK, &m_saved, nullptr);
}

int TerminationSignals::take()
{
    signalfd_siginfo info{};
    if (m_fd >= 0 && ::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        return static_cast<int>(info.ssi_signo);
    }
    return 0;
}
