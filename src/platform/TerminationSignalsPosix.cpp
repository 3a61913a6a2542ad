#include "platform/TerminationSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <ctime>

namespace {

// The write end of the self-pipe, for the handler; -1 when none is set up.
std::atomic<int> g_pipeWrite{-1};
// How many of each signal (by its place in kSignals) wait in the pipe, so that
// stopProcess() can tell what is pending without reading it. The handler is
// set for those signals alone, so every byte in the pipe has its place.
std::array<std::atomic<int>, TerminationSignals::kSignals.size()> g_inPipe{};

std::size_t placeOf(int signal)
{
    std::size_t place = 0;
    while (place < TerminationSignals::kSignals.size() && TerminationSignals::kSignals[place] != signal) {
        ++place;
    }
    return place;
}

extern "C" void writeSignalToPipe(int signal)
{
    const int savedErrno = errno;
    const int fd = g_pipeWrite.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        // A full pipe drops the byte: enough are already waiting to be read.
        if (::write(fd, &byte, 1) == 1) {
            g_inPipe[placeOf(signal)].fetch_add(1);
        }
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
        if (::read(m_fd, &byte, 1) != 1) {
            return 0;
        }
        g_inPipe[placeOf(byte)].fetch_sub(1);
        return static_cast<int>(byte);
    }
    signalfd_siginfo info{};
    if (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        return static_cast<int>(info.ssi_signo);
    }
    return 0;
}

bool TerminationSignals::pending(bool endingOnly) const
{
    sigset_t waiting;
    sigemptyset(&waiting);
    if (m_blocked) {
        sigpending(&waiting);
    }
    const std::size_t last = endingOnly ? kTerminationCount : m_taken;
    for (std::size_t i = 0; i < last; ++i) {
        const bool sent = m_blocked ? sigismember(&waiting, kSignals[i]) == 1 : g_inPipe[i].load() > 0;
        if (sent && kSignals[i] != kSuspend) {
            return true;
        }
    }
    return false;
}

void TerminationSignals::stopProcess()
{
    // A signal that ends or continues the process, sent since the owner last
    // took them (while it silenced the coil), cancels the stop: a SIGCONT
    // would be discarded by the stop, and an ending signal would wait behind
    // it, leaving the process stopped with nobody to continue it.
    if (pending(false)) {
        return;
    }
    // SIGTSTP itself rather than SIGSTOP: the shell reports the job as
    // stopped by Ctrl-Z, and the system's rule for groups without a shell
    // (drop the stop) still holds.
    if (m_blocked) {
        // Raised at this thread while blocked, it is delivered, with its
        // default action, the moment this thread lets it through. A SIGCONT
        // sent from the raise on discards it; an ending signal is looked for
        // once more, and the stop taken back for it.
        sigset_t suspend;
        sigemptyset(&suspend);
        sigaddset(&suspend, SIGTSTP);
        ::raise(SIGTSTP);
        if (pending(true)) {
            const timespec now{};
            ::sigtimedwait(&suspend, nullptr, &now);
            return;
        }
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
