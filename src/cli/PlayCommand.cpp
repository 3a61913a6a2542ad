#include "base/WorkerOwner.h"
#include "cli/CliSupport.h"
#include "cli/CoilRun.h"
#include "cli/Commands.h"
#include "cli/PlayControls.h"
#include "cli/PlayReports.h"
#include "cli/ProgressLine.h"
#include "midiout/MidiOutput.h"
#include "platform/TerminalMode.h"
#include "playback/AppState.h"
#include "playback/PlaybackThread.h"

#include <chrono>
#include <cmath>
#include <iostream>
#include <optional>
#include <thread>

namespace {

const char* const kPlayUsage = R"(usage: quillarc-cli play FILE... [options]

Plays one channel of a Standard MIDI File on the coil controller, exactly as
the control panel does: the channel volume first, then every note at its
time, and at the end all-sound-off, a note-off for every key left sounding
and all-notes-off. Several files play one after another,
each from its lead-in, as the panel's "Play the whole playlist" does.

options:
  --from SECONDS     start the first file that far into its song (the
                     lead-in counts: 0.5 is where a note at the song's first
                     tick is due)
  --port N           play on output device N (see quillarc-cli devices)
  --device NAME      play on the first output device named exactly NAME
                     (default: the controller, "Quillarc USB Controller")
)";

const char* const kPlayTail = R"(  --help             show this text

While playing, when standard input is a terminal: space pauses and resumes,
r restarts, n plays the next file (after the last one it stops), the Left
and Right arrow keys seek 5 seconds back and forward, q stops. A progress bar is shown on standard error when it is a
terminal. Ctrl-C, SIGTERM, SIGHUP (the terminal closed) and SIGQUIT stop
playback and silence every channel. Ctrl-Z (SIGTSTP) pauses the song and
silences every channel before the process stops; fg or bg goes on where it
paused (a pause of your own stays). In the background (started with &, or
after bg) keys are not read and no bar is drawn. Reader diagnostics and
status lines go to standard error.

exit status: 0 when a song was played (or stopped with q), 128 + the
signal's number after a signal (130 after Ctrl-C), 1 when there was nothing
to play (--from past the end of the first file among it) or no device to
play on, or the device could not be opened or went away while playing, 2 on
bad arguments or a coil limits file that cannot be read.
)";

struct PlayArgs {
    std::vector<std::string> fileNames;
    std::optional<double> fromSeconds;
    PlaybackOptions options;
    OutputArgs output;
};

PlayArgs parsePlayArgs(const std::vector<std::string>& args, bool& helpShown)
{
    PlayArgs parsed;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            helpShown = true;
            return parsed;
        }
        if (takeNoteOption(arg, cursor, parsed.options) || takeOutputOption(arg, cursor, parsed.output)) {
            continue;
        }
        if (arg == "--from") {
            // Up to about 23 days: the milliseconds fit the song's clock.
            parsed.fromSeconds = parseNumber<double>(cursor.valueOf(arg));
            if (!parsed.fromSeconds || !(*parsed.fromSeconds >= 0.0 && *parsed.fromSeconds <= 2.0e6)) {
                throw UsageError("--from needs a number of seconds from 0 to 2000000");
            }
        } else if (arg.starts_with("-") && arg != "-") {
            throw UsageError("unknown option " + arg);
        } else {
            parsed.fileNames.push_back(arg);
        }
    }
    if (parsed.fileNames.empty()) {
        throw UsageError("play needs a FILE (see quillarc-cli play --help)");
    }
    checkOutputArgs(parsed.output);
    return parsed;
}

// The coil's line while the process is stopped: the device silenced on
// every channel and closed, so that nothing sounds and nothing is on its way;
// open again when the process goes on.
class StoppableLine {
public:
    StoppableLine(MidiOutput& device, int port, const AppState& state, const PlayReports& reports)
        : m_device(device), m_port(port), m_state(state), m_reports(reports)
    {
    }

    PlayControls::Coil coil()
    {
        return {[this] { silence(); }, [this] { restore(); }};
    }

private:
    void silence()
    {
        waitForPauseServed();
        m_device.selectPort(m_port);
        m_heldOpen = m_device.isOpen() == 1;
        m_device.resetPort();
        // Closing waits until the reset has left for the device.
        m_device.closePort();
    }
    void restore()
    {
        if (m_heldOpen) {
            m_device.openPort();
        }
    }
    // Until the worker has served the pause asked for: from then on it sends
    // nothing until it resumes. A worker still reading its song has sent no
    // note and finds the pause at its first pass; one at the end of its song
    // finishes instead.
    void waitForPauseServed() const
    {
        using namespace std::chrono_literals;
        const auto deadline = std::chrono::steady_clock::now() + 500ms;
        while (m_reports.started() && !m_reports.hasFinished() && m_state.pauseStartPending.load() != 0 &&
               std::chrono::steady_clock::now() < deadline) {
            // A pass takes microseconds once woken by the request.
            std::this_thread::sleep_for(1ms);
        }
    }

    MidiOutput& m_device;
    int m_port;
    const AppState& m_state;
    const PlayReports& m_reports;
    bool m_heldOpen = false;
};

}  // namespace

int runPlayCommand(const std::vector<std::string>& args)
{
    bool helpShown = false;
    PlayArgs parsed = parsePlayArgs(args, helpShown);
    if (helpShown) {
        std::cout << kPlayUsage << kNoteOptionsHelp << kSendOptionsHelp << kLimitOptionsHelp << kPlayTail;
        return 0;
    }
    CoilRun run(parsed.output, parsed.options);
    if (run.failure() != 0) {
        return run.failure();
    }
    AppState& state = run.state();
    state.volumePosition.store(127 - parsed.output.send.volume);
    state.setPlaylist(parsed.fileNames);
    state.playingIndex.store(0);
    state.wholePlaylist.store(1);
    std::optional<int> fromMs;
    if (parsed.fromSeconds) {
        fromMs = static_cast<std::int32_t>(std::lround(*parsed.fromSeconds * 1000.0));
        state.requestSeek(*fromMs);
    }
    state.playing.store(1);

    PlayReports reports(state, parsed.fileNames, fromMs);
    WorkerOwner worker([&state] { state.requestStop(); });
    worker.start([&](WorkerOwner::Generation) { playbackThread(state, reports); });

    const bool showProgress = isTerminal(kStandardError);
    std::size_t barWidth = 0;
    const auto printLines = [&] {
        for (const std::string& line : reports.takeLines()) {
            std::cerr << (showProgress ? lineOverProgress(line, barWidth) : line + '\n');
        }
    };
    TerminalMode terminal(kStandardInput);
    StoppableLine line(run.device(), run.port(), state, reports);
    PlayControls controls(state, terminal, line.coil());
    run.watch(terminal, {[&] { return reports.hasFinished(); },
                         [&](const std::function<int()>& take) {
                             return controls.answerSignals(take, [&] { run.signals().stopProcess(); });
                         },
                         [&](char key) { controls.press(key); },
                         [&] {
                             printLines();
                             // In the background the bar would be drawn over the shell's prompt.
                             if (showProgress && reports.started() && inForeground(kStandardError)) {
                                 const std::string bar = progressLine(reports.position(), controls.paused(),
                                                                      reports.elapsedMs(), reports.totalMs());
                                 barWidth = bar.size() - 1;  // after its carriage return
                                 std::cerr << bar << std::flush;
                             }
                         }});
    worker.stopAndJoin();
    printLines();
    if (barWidth != 0) {
        std::cerr << '\n';
    }

    if (const std::optional<int> songMs = reports.fromPastEnd()) {
        std::cerr << "Error: --from " << *parsed.fromSeconds << " is past the end of " << parsed.fileNames.front()
                  << " (" << *songMs / 1000.0 << " s)\n";
        return run.exitStatus(1);
    }
    if (run.stoppedBySignal()) {
        run.resetEveryChannel();
    }
    return run.exitStatus(reports.controllerWasLost() || !reports.started() ? 1 : 0);
}
