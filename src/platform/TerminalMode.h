#pragma once

#ifndef _WIN32
#include <termios.h>
#endif

#include <optional>
#include <string>

class TerminationSignals;

// The standard streams' descriptors, as the calls below take them.
inline constexpr int kStandardInput = 0;
inline constexpr int kStandardError = 2;

// True when `fd` is a terminal (on Windows: a console).
bool isTerminal(int fd);

// True when `fd` is a terminal whose foreground process group is this
// process's: only then may the process change the terminal's modes or read
// from it without being stopped (SIGTTOU, SIGTTIN). A Windows console has no
// background: there it is isTerminal.
bool inForeground(int fd);

// What waitForInput found ready.
struct InputReady {
    bool signal = false;
    bool key = false;
};

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
    // The next byte a key sent, without waiting; nothing when none is
    // waiting. On Windows the arrows come as a terminal sends them (ESC [ A
    // to D, a byte at a time) and the console's other input is passed over.
    std::optional<char> readKey();

private:
    friend InputReady waitForInput(const TerminationSignals& signals, const TerminalMode& terminal, int timeoutMs);

    int m_fd;
#ifdef _WIN32
    void* m_console = nullptr;  // the console's input handle
    unsigned long m_saved = 0;
    std::string m_pending;  // the rest of an arrow's sequence
#else
    termios m_saved{};
#endif
    bool m_active = false;
};

// Waits up to `timeoutMs` for a pending signal or, while `terminal` holds
// its mode, input on it.
InputReady waitForInput(const TerminationSignals& signals, const TerminalMode& terminal, int timeoutMs);
