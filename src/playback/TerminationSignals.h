#pragma once

#include <signal.h>

#include <array>

// Takes SIGINT, SIGTERM, SIGHUP and SIGQUIT away from their default action
// (which would end the process without silencing the coil): while an object
// lives, each of them arrives instead as readable data on fd(), for the
// owner's loop to stop playback and leave cleanly. With JobControl::Taken the
// same holds for SIGTSTP (Ctrl-Z, which would stop the process with a note
// sounding) and SIGCONT: the owner silences the coil first and then calls
// stopProcess(). Make it before starting any thread, and one at a time.
//
// The signals are blocked in the thread that made the object and in every
// thread started afterwards, and read through a signalfd. Where no signalfd
// can be made they are not left blocked: a handler writes each one into a
// pipe instead.
class TerminationSignals {
public:
    enum class Delivery { SignalFd, SelfPipe };
    enum class JobControl { LeftAlone, Taken };

    // The signals taken, in no particular order; the job-control ones after
    // them when taken.
    static constexpr std::array<int, 6> kSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT};
    static constexpr std::size_t kTerminationCount = 4;

    // `preferred` SelfPipe skips the signalfd (the fallback, chosen directly).
    explicit TerminationSignals(Delivery preferred = Delivery::SignalFd,
                                JobControl jobControl = JobControl::LeftAlone);
    ~TerminationSignals();

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Readable once a signal is pending; -1 if neither way could be set up.
    int fd() const { return m_fd; }
    Delivery delivery() const { return m_delivery; }
    // Takes one pending signal; its number, or 0 when none was pending.
    int take();
    // Stops the process as SIGTSTP's default action does and returns once it
    // is continued (SIGCONT then arrives on fd() like the others), or at once
    // where the system drops the stop: in a process group that no shell
    // controls. For the thread that made the object, with JobControl::Taken.
    void stopProcess();

private:
    bool openSelfPipe();

    Delivery m_delivery = Delivery::SignalFd;
    sigset_t m_set{};
    sigset_t m_saved{};
    bool m_blocked = false;
    int m_fd = -1;
    int m_pipeWrite = -1;
    std::size_t m_taken = kTerminationCount;
    std::array<struct sigaction, kSignals.size()> m_savedActions{};
};
