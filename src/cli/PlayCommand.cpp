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
#include <utility>
#include <vector>

namespace {

const char* const kPlayUsage = R"(usage: quillarc-cli play FILE... [options]

Plays one channel of a Standard MIDI File on the coil controller, exactly as
the control panel does: the channel volume first, then every note at its
time, and at the end all-sound-off, a note-off for every key left sounding
and all-notes-off. With a rig file every coil plays its channels on its own
device, on one clock, each through its transpose, voices, volume share and
limits; a coil missing refuses the song, a coil lost ends it on every coil. Several files play one after another,
each from its lead-in, as the panel's "Play the whole playlist" does.
Each song plays with its song settings (see quillarc-cli song): its coils'
channels and transpose, its volume, speed and loop, unless --no-song-settings;
--speed and --loop go before its own. A song that loops plays its region
until stopped (q, n, Ctrl-C), each turn from the first note at or after FROM.

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
and Right arrow keys seek 5 seconds back and forward, + and - play 5 % faster
and slower from where the song is (25 to 400 %), q stops. A progress bar is shown on standard error when it is a
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
    SingleCoilArgs single;
    SongSettingsArgs song;
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
        if (takeNoteOption(arg, cursor, parsed.options) || takeOutputOption(arg, cursor, parsed.output) ||
            takeSingleCoilOption(arg, cursor, parsed.single) ||
            takeSongSettingsOption(arg, cursor, parsed.song, true)) {
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

// The coils' lines while the process is stopped: each device silenced on
// every channel and closed, so that nothing sounds and nothing is on its way;
// those that were open open again when the process goes on.
class StoppableLine {
public:
    StoppableLine(MidiOutput& device, const std::vector<int>& ports, const AppState& state, const PlayReports& reports)
        : m_device(device), m_state(state), m_reports(reports)
    {
        for (const int port : ports) {
            m_ports.emplace_back(port, false);
        }
    }

    PlayControls::Coil coil()
    {
        return {[this] { silence(); }, [this] { restore(); }};
    }

private:
    void silence()
    {
        waitForPauseServed();
        for (auto& [port, heldOpen] : m_ports) {
            m_device.selectPort(port);
            heldOpen = m_device.isOpen() == 1;
            m_device.resetPort();
            // Closing waits until the reset has left for the device.
            m_device.closePort();
        }
    }
    void restore()
    {
        for (const auto& [port, heldOpen] : m_ports) {
            if (heldOpen) {
                m_device.selectPort(port);
                m_device.openPort();
            }
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
    // Each device and whether it was open when the process stopped.
    std::vector<std::pair<int, bool>> m_ports;
    const AppState& m_state;
    const PlayReports& m_reports;
};

}  // namespace

int runPlayCommand(const std::vector<std::string>& args)
{
    bool helpShown = false;
    PlayArgs parsed = parsePlayArgs(args, helpShown);
    if (helpShown) {
        std::cout << kPlayUsage << kSpeedOptionsHelp << kLoopOptionHelp << kNoteOptionsHelp << kSingleCoilOptionsHelp
                  << kSendOptionsHelp << kLimitOptionsHelp
                  << kRigOptionsHelp << kPlayTail;
        return 0;
    }
    CoilRun run(parsed.output, parsed.options);
    if (run.failure() != 0) {
        return run.failure();
    }
    AppState& state = run.state();
    if (parsed.single.any()) {
        if (state.rig() != nullptr) {
            std::cerr << "Error: --channels, --voices, --keep and --transpose are for one coil without a rig file "
                         "(give --no-rig)\n";
            return 2;
        }
        // The one coil on the device chosen, playing what these options say.
        Coil coil = singleCoil(parsed.single, parsed.options);
        coil.device = state.controllerName();
        state.setRig(Rig{{coil}, {}});
    }
    state.setSongChoices({!parsed.song.ignore, parsed.song.speedPercent, parsed.song.loop});
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
    StoppableLine line(run.device(), run.ports(), state, reports);
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
