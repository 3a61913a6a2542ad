#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/TerminalMode.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutPort.h"
#include "midiout/MidiOutput.h"
#include "playback/AppState.h"
#include "playback/PlaybackObserver.h"
#include "playback/PlaybackSession.h"
#include "playback/TerminationSignals.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace {

const char* const kPlayUsage = R"(usage: quillarc-cli play FILE [options]

Plays one channel of a Standard MIDI File on the coil controller, exactly as
the control panel does: the channel volume first, then every note at its
time, and all-sound-off at the end.

options:
  --port N           play on output device N (see quillarc-cli devices)
  --device NAME      play on the first output device named exactly NAME
                     (default: the controller, "Quillarc USB Controller")
)";

const char* const kPlayTail = R"(  --help             show this text

While playing, when standard input is a terminal: space pauses and resumes,
r restarts, q stops. A progress bar is shown on standard error when it is a
terminal. Ctrl-C, SIGTERM, SIGHUP (the terminal closed) and SIGQUIT stop
playback and silence every channel.

exit status: 0 when the song was played (or stopped), 1 when there was
nothing to play or no device to play on, 2 on bad arguments.
)";

// Reports from the worker, kept for the main thread to show.
class CliObserver : public PlaybackObserver {
public:
    void statusText(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_pendingStatus.push_back(text);
    }
    void songStarted(int totalMs) override
    {
        m_totalMs.store(totalMs);
        m_started.store(true);
    }
    void progress(int position) override { m_progress.store(position); }
    void finished() override { m_finished.store(true); }

    std::vector<std::string> takeStatuses()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_pendingStatus, {});
    }
    int position() const { return m_progress.load(); }
    int totalMs() const { return m_totalMs.load(); }
    bool started() const { return m_started.load(); }
    bool hasFinished() const { return m_finished.load(); }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_pendingStatus;
    std::atomic<int> m_progress{0};
    std::atomic<int> m_totalMs{0};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_finished{false};
};

std::string clockText(double ms)
{
    const auto seconds = static_cast<long>(ms / 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

void drawProgress(int position, bool paused, double totalMs)
{
    constexpr int kWidth = 40;
    const int filled = position * kWidth / 127;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '-');
    std::cerr << "\r[" << bar << "] " << clockText(totalMs * position / 127.0) << " / " << clockText(totalMs)
              << (paused ? "  paused " : "         ") << std::flush;
}

struct PlayArgs {
    std::string fileName;
    std::optional<int> port;
    std::optional<std::string> device;
    PlaybackOptions options;
    SendOptions send;
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
        if (takeNoteOption(arg, cursor, parsed.options) || takeSendOption(arg, cursor, parsed.send)) {
            continue;
        }
        if (arg == "--port") {
            parsed.port = cursor.intValueOf(arg);
        } else if (arg == "--device") {
            parsed.device = cursor.valueOf(arg);
        } else if (arg.starts_with("-") && arg != "-") {
            throw UsageError("unknown option " + arg);
        } else if (parsed.fileName.empty()) {
            parsed.fileName = arg;
        } else {
            throw UsageError("only one FILE may be given");
        }
    }
    if (parsed.fileName.empty()) {
        throw UsageError("play needs a FILE (see quillarc-cli play --help)");
    }
    if (parsed.port && parsed.device) {
        throw UsageError("give either --port or --device, not both");
    }
    return parsed;
}

// The device to play on, or nothing after saying why on stderr. `device` is
// made here once there is any device to count, and holds the device table:
// the choice keeps its meaning for as long as it lives.
std::optional<int> choosePort(const PlayArgs& args, std::optional<MidiOutput>& device)
{
    const int devicesPresent = MidiOutPort::service()->deviceCount();
    if (args.port && devicesPresent <= 0) {
        std::cerr << "Error: there is no output device " << *args.port << " (devices: " << devicesPresent << ")\n";
        return std::nullopt;
    }
    if (devicesPresent <= 0) {
        std::cerr << (args.device ? "Error: no device named " + *args.device : std::string("Error: no compatible controller found"))
                  << '\n';
        return std::nullopt;
    }
    device.emplace();
    const int count = MidiOutput::deviceCount();
    if (args.port) {
        if (*args.port < 0 || *args.port >= count) {
            std::cerr << "Error: there is no output device " << *args.port << " (devices: " << count << ")\n";
            return std::nullopt;
        }
        return *args.port;
    }
    if (!args.device) {
        const int controller = findController();
        if (controller < 0) {
            std::cerr << "Error: no compatible controller found\n";
            return std::nullopt;
        }
        return controller;
    }
    for (int i = 0; i < count; ++i) {
        device->selectPort(i);
        if (device->portName() == *args.device) {
            return i;
        }
    }
    std::cerr << "Error: no device named " << *args.device << '\n';
    return std::nullopt;
}

}  // namespace

int runPlayCommand(const std::vector<std::string>& args)
{
    bool helpShown = false;
    PlayArgs parsed = parsePlayArgs(args, helpShown);
    if (helpShown) {
        std::cout << kPlayUsage << kNoteOptionsHelp << kSendOptionsHelp << kPlayTail;
        return 0;
    }
    if (!applyCurve(parsed.send, parsed.options)) {
        return 1;
    }

    // Signals are taken from here on: a Ctrl-C while the device is being
    // found or the song read still ends in a clean stop.
    TerminationSignals signals;
    // One output object lives from the choice of the device until the worker
    // has been joined: the device table is counted once, so the worker opens
    // the device chosen (or fails to, when it has gone) instead of counting
    // afresh after the song was read and finding another one, or none.
    std::optional<MidiOutput> device;
    const std::optional<int> port = choosePort(parsed, device);
    if (!port) {
        return 1;
    }

    AppState state;
    state.controllerPort.store(*port);
    state.volumePosition.store(127 - parsed.send.volume);
    state.setOptions(parsed.options);
    state.setCurrentFileName(parsed.fileName);
    state.playing.store(1);

    // Reading the file prints its diagnostics and tempo lines on stdout.
    std::streambuf* const savedOut = std::cout.rdbuf(std::cerr.rdbuf());
    CliObserver observer;
    std::thread worker(playbackThread, std::ref(state), std::ref(observer));

    const bool showProgress = ::isatty(STDERR_FILENO) != 0;
    TerminalMode keys(STDIN_FILENO);
    bool stoppedBySignal = false;
    bool paused = false;

    const auto stop = [&] { state.requestStop(); };

    while (!observer.hasFinished()) {
        pollfd fds[2] = {{signals.fd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = ::poll(fds, keys.active() ? 2 : 1, 100);
        for (const std::string& status : observer.takeStatuses()) {
            std::cerr << (showProgress ? "\r" : "") << status << '\n';
        }
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            if (signals.take() != 0) {
                stoppedBySignal = true;
                stop();
            }
        }
        if (ready > 0 && keys.active() && (fds[1].revents & POLLIN) != 0) {
            char key = 0;
            if (::read(STDIN_FILENO, &key, 1) == 1) {
                if (key == ' ') {
                    if (paused) {
                        state.requestResume();
                    } else {
                        state.requestPause();
                    }
                    paused = !paused;
                } else if (key == 'r' || key == 'R') {
                    state.requestRestart();
                } else if (key == 'q' || key == 'Q') {
                    stop();
                }
            }
        }
        if (showProgress && observer.started()) {
            drawProgress(observer.position(), paused, observer.totalMs());
        }
    }
    worker.join();
    std::cout.rdbuf(savedOut);
    for (const std::string& status : observer.takeStatuses()) {
        std::cerr << (showProgress ? "\r" : "") << status << '\n';
    }
    if (showProgress && observer.started()) {
        std::cerr << '\n';
    }

    if (stoppedBySignal) {
        // The worker has silenced channel 0 and closed the device; open it once
        // more so that the last output object, going now, resets it: every
        // channel goes quiet.
        device->selectPort(*port);
        device->openPort();
    }
    return observer.started() || stoppedBySignal ? 0 : 1;
}
