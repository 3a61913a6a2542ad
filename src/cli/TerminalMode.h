#pragma once

#include <termios.h>

// True when `fd` is a terminal whose foreground process group is this
// process's: only then may the process change the terminal's modes or read
// from it without being stopped (SIGTTOU, SIGTTIN).
bool inForeground(int fd);

// Single-key input on a terminal: no line editing, no echo, reads that return
// at once. Taken only in the terminal's foreground, so that a job started with
// & or sent to the background never stops on the terminal. The terminal's own
// modes come back when the object leaves the mode or goes.
class TerminalMode {
public:
    // Enters the mode at once when it can (see enter).
    explicit TerminalMode(int fd);
    ~TerminalMode();
    TerminalMode(const TerminalMode&) = delete;
    TerminalMode& operator=(const TerminalMode&) = delete;

    // Takes single-key input when inForeground(fd), again after the process
    // was stopped and continued; true while it holds. In the background it
    // gives the mode up without touching the terminal.
    bool enter();
    // Puts the terminal's modes back as they were before enter (in the
    // foreground only: in the background they are the shell's).
    void leave();
    bool active() const { return m_active; }

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};
