#pragma once

#include <signal.h>

// Takes SIGINT and SIGTERM away from their default action (which would end
// the process without silencing the coil): while an object lives, they are
// blocked in the thread that made it and in every thread started afterwards,
// and arrive instead as readable data on fd(), for the owner's loop to stop
// playback and leave cleanly. Make it before starting any thread.
class TerminationSignals {
public:
    TerminationSignals();
    ~TerminationSignals();

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Readable once a signal is pending; -1 if the descriptor could not be made.
    int fd() const { return m_fd; }
    // Takes one pending signal; its number, or 0 when none was pending.
    int take();

private:
    sigset_t m_set{};
    sigset_t m_saved{};
    int m_fd = -1;
};
