#pragma once

#ifndef _WIN32
#include <signal.h>
#endif

#include <array>
#include <cstddef>

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
//
// On Windows the console's events stand for the signals: Ctrl-C is SIGINT,
// Ctrl-Break SIGQUIT, the console window closed SIGHUP, log-off and shut-down
// SIGTERM (numbered as on POSIX systems), taken by a console control handler
// and told through an event object instead of a descriptor. There is no job
// control there: SIGTSTP and SIGCONT never arrive.
class TerminationSignals {
public:
    enum class Delivery { SignalFd, SelfPipe, ConsoleHandler };
    enum class JobControl { LeftAlone, Taken };

#ifdef _WIN32
    static constexpr int kInterrupt = 2, kTerminate = 15, kHangUp = 1, kQuit = 3, kSuspend = 20, kContinue = 18;
#else
    static constexpr int kInterrupt = SIGINT, kTerminate = SIGTERM, kHangUp = SIGHUP, kQuit = SIGQUIT,
                         kSuspend = SIGTSTP, kContinue = SIGCONT;
#endif
    // The signals taken, in no particular order; the job-control ones after
    // them when taken.
    static constexpr std::array<int, 6> kSignals{kInterrupt, kTerminate, kHangUp, kQuit, kSuspend, kContinue};
    static constexpr std::size_t kTerminationCount = 4;

    // `preferred` SelfPipe skips the signalfd (the fallback, chosen directly).
    explicit TerminationSignals(Delivery preferred = Delivery::SignalFd,
                                JobControl jobControl = JobControl::LeftAlone);
    ~TerminationSignals();

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

#ifdef _WIN32
    // An event object (a HANDLE) that is set while a signal is pending.
    void* event() const;
#else
    // Readable once a signal is pending; -1 if neither way could be set up.
    int fd() const { return m_fd; }
#endif
    Delivery delivery() const { return m_delivery; }
    // Takes one pending signal; its number, or 0 when none was pending.
    int take();
    // Stops the process as SIGTSTP's default action does and returns once it
    // is continued (SIGCONT then arrives on fd() like the others), or at once
    // where the system drops the stop: in a process group that no shell
    // controls. It does not stop when a signal that ends or continues the
    // process was sent since the last take(): take() then returns it. For
    // the thread that made the object, with JobControl::Taken.
    void stopProcess();

private:
#ifdef _WIN32
    Delivery m_delivery = Delivery::ConsoleHandler;
#else
    bool openSelfPipe();
    // Whether a taken signal other than SIGTSTP was sent and not yet taken;
    // with `endingOnly`, one that ends the process.
    bool pending(bool endingOnly) const;

    Delivery m_delivery = Delivery::SignalFd;
    sigset_t m_set{};
    sigset_t m_saved{};
    bool m_blocked = false;
    int m_fd = -1;
    int m_pipeWrite = -1;
    std::size_t m_taken = kTerminationCount;
    std::array<struct sigaction, kSignals.size()> m_savedActions{};
#endif
};

#ifdef _WIN32
// The console control handler itself, as the system calls it with an event
// type (CTRL_C_EVENT...); TRUE when the event was taken. For a console
// close, log-off or shut-down, after which the system ends the process, it
// returns once the object is gone (the coil silenced by then) or after 4 s.
int consoleControlHandler(unsigned long eventType);
#endif
