#pragma once

#include <functional>

class AppState;
class TerminalMode;

// What a key pressed while a song plays asks of the transport.
enum class KeyRequest { None, Pause, Resume, Restart, Stop };

// Space pauses, or resumes while `paused`; r restarts and q stops, in
// either case; every other key does nothing.
KeyRequest keyRequest(char key, bool paused);

// The controlling side of quillarc-cli play's transport: keys and job control
// reach the song through AppState's requests, as the panel's buttons do.
// Main thread only.
class PlayControls {
public:
    // The coil's line while the process is stopped: `silence` leaves every
    // channel quiet with nothing on its way; `restore` makes the line ready to
    // play again.
    struct Coil {
        std::function<void()> silence;
        std::function<void()> restore;
    };

    PlayControls(AppState& state, TerminalMode& terminal, Coil coil);

    void press(char key);
    // The pause the user asked for, for the progress line.
    bool paused() const { return m_paused; }

    // Before the process stops (Ctrl-Z): the song pauses unless the user has
    // paused it, the coil goes quiet and the terminal gets its modes back.
    void suspend();
    // After the process was continued (fg, bg): single-key input again in the
    // foreground, and the song goes on unless the user had paused it.
    void goOn();
    // SIGCONT: the process may be in the foreground now (a job started with &
    // and brought there with fg).
    void continued();

private:
    AppState& m_state;
    TerminalMode& m_terminal;
    Coil m_coil;
    bool m_paused = false;
    bool m_pausedBySuspend = false;
};
