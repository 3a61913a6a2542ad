#include "platform/TerminationSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// The write end of the self-pipe, for the handler; -1 when none is set up.
std::atomic<int> g_pipeWrite{-1};

extern "C" void writeSignalToPipe(int signal)
{
    const int savedErrno = errno;
    const int fd = g_pipeWrite.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        // A full pipe drops the byte: enough are already waiting to be read.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(Delivery preferred, JobControl jobControl)
    : m_taken(jobControl == JobControl::Taken ? kSignals.size() : kTerminationCount)
{
    sigemptyset(&m_set);
    for (std::size_t i = 0; i < m_taken; ++i) {
        sigaddset(&m_set, kSignals[i]);
    }
    if (preferred == Delivery::SignalFd) {
        pthread_sigmask(SIG_BLOCK, &m_set, &m_saved);
        m_fd = ::signalfd(-1, &m_set, SFD_CLOEXEC | SFD_NONBLOCK);
        if (m_fd >= 0) {
            m_blocked = true;
            m_delivery = Delivery::SignalFd;
            return;
        }
        // Blocked signals that nobody reads would be lost for good.
        pthread_sigmask(SIG_SETMASK, &m_saved, nullptr);
    }
    if (openSelfPipe()) {
        m_delivery = Delivery::SelfPipe;
    }
}

bool TerminationSignals::openSelfPipe()
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    m_fd = ends[0];
    m_pipeWrite = ends[1];
    g_pipeWrite.store(m_pipeWrite);
    struct sigaction action{};
    action.sa_handler = writeSignalToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < m_taken; ++i) {
        ::sigaction(kSignals[i], &action, &m_savedActions[i]);
    }
    return true;
}

TerminationSignals::~TerminationSignals()
{
    if (m_pipeWrite >= 0) {
        for (std::size_t i = 0; i < m_taken; ++i) {
            ::sigaction(kSignals[i], &m_savedActions[i], nullptr);
        }
        g_pipeWrite.store(-1);
        ::close(m_pipeWrite);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (m_blocked) {
        pthread_sigmask(SIG_SETMASK, &m_saved, nullptr);
    }
}

int TerminationSignals::take()
{
    if (m_fd < 0) {
        return 0;
    }
    if (m_delivery == Delivery::SelfPipe) {
        unsigned char byte = 0;
        return ::read(m_fd, &byte, 1) == 1 ? static_cast<int>(byte) : 0;
    }
    signalfd_siginfo info{};
    if (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        return static_cast<int>(info.ssi_signo);
    }
    return 0;
}

void TerminationSignals::stopProcess()
{
    // SIGTSTP itself rather than SIGSTOP: the shell reports the job as
    // stopped by Ctrl-Z, and the system's rule for groups without a shell
    // (drop the stop) still holds.
    if (m_blocked) {
        // Raised at this thread while blocked, it is delivered, with its
        // default action, the moment this thread lets it through.
        sigset_t suspend;
        sigemptyset(&suspend);
        sigaddset(&suspend, SIGTSTP);
        ::raise(SIGTSTP);
        pthread_sigmask(SIG_UNBLOCK, &suspend, nullptr);
        pthread_sigmask(SIG_BLOCK, &suspend, nullptr);
        return;
    }
    struct sigaction handler{};
    struct sigaction byDefault{};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    ::sigaction(SIGTSTP, &byDefault, &handler);
    ::raise(SIGTSTP);
    ::sigaction(SIGTSTP, &handler, nullptr);
}
