#pragma once

#include <signal.h>

#include <array>

// Takes SIGINT, SIGTERM, SIGHUP and SIGQUIT away from their default action
// (which would end the process without silencing the coil): while an object
// lives, each of them arrives instead as readable data on fd(), for the
// owner's loop to stop playback and leave cleanly. Make it before starting
// any thread, and one at a time.
//
// The signals are blocked in the thread that made the object and in every
// thread started afterwards, and read through a signalfd. Where no signalfd
// can be made they are not left blocked: a handler writes each one into a
// pipe instead.
class TerminationSignals {
public:
    enum class Delivery { SignalFd, SelfPipe };

    // The signals taken, in no particular order.
    static constexpr std::array<int, 4> kSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};

    // `preferred` SelfPipe skips the signalfd (the fallback, chosen directly).
    explicit TerminationSignals(Delivery preferred = Delivery::SignalFd);
    ~TerminationSignals();

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Readable once a signal is pending; -1 if neither way could be set up.
    int fd() const { return m_fd; }
    Delivery delivery() const { return m_delivery; }
    // Takes one pending signal; its number, or 0 when none was pending.
    int take();

private:
    bool openSelfPipe();

    Delivery m_delivery = Delivery::SignalFd;
    sigset_t m_set{};
    sigset_t m_saved{};
    bool m_blocked = false;
    int m_fd = -1;
    int m_pipeWrite = -1;
    std::array<struct sigaction, kSignals.size()> m_savedActions{};
};
