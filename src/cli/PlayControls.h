#pragma once

#include <functional>

class AppState;
class TerminalMode;

// What a key pressed while a song plays asks of the transport.
enum class KeyRequest { None, Pause, Resume, Restart, Stop, Next, SeekBack, SeekForward, Faster, Slower };

// Space pauses, or resumes while `paused`; r restarts, q stops and n plays
// the next file, in either case; + and - change the speed by kSpeedStep;
// every other key does nothing.
KeyRequest keyRequest(char key, bool paused);

// Turns what a terminal sends into requests, byte by byte: the Left and
// Right arrows (ESC [ D and ESC [ C, or ESC O D and ESC O C) seek; every
// other escape sequence is swallowed whole, and a byte after a lone ESC is a
// key of its own.
class KeyDecoder {
public:
    KeyRequest feed(char byte, bool paused);

private:
    enum class Stage { Key, Escape, Sequence };
    Stage m_stage = Stage::Key;
    bool m_parameters = false;
};

// How far the arrow keys seek.
inline constexpr int kSeekStepMs = 5000;

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

    // Answers the signals pending, which `take` gives one by one (0 when none
    // is left); the first of them that stops playback (requested here), or 0. Ctrl-Z: the
    // song pauses unless the user has paused it, the coil goes quiet, the
    // terminal gets its modes back and `stopProcess` returns once the process
    // goes on (fg, bg). Then single-key input comes back in the foreground
    // and the song goes on as the user left it, unless a signal that came
    // meanwhile stops it (kill %1 on a stopped job is SIGTERM, then SIGCONT).
    // SIGCONT alone: the process may be in the foreground now (a job started
    // with & and brought there with fg).
    int answerSignals(const std::function<int()>& take, const std::function<void()>& stopProcess);

private:
    void suspend();
    void goOn();

    AppState& m_state;
    TerminalMode& m_terminal;
    Coil m_coil;
    KeyDecoder m_keys;
    bool m_paused = false;
    bool m_pausedBySuspend = false;
};
