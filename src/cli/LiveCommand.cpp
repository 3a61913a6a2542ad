#include "base/WorkerOwner.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "live/LiveNote.h"
#include "live/LiveSession.h"
#include "midiin/MidiInputService.h"
#include "platform/TerminalMode.h"
#include "platform/TerminationSignals.h"
#include "playback/AppState.h"
#include "playback/PlaybackSession.h"

#include <unistd.h>

#include <atomic>
#include <iostream>
#include <optional>

namespace {

// How often the worker's end is looked for between signals and keys.
constexpr int kLookIntervalMs = 100;

const char* const kLiveUsage = R"(usage: quillarc-cli live [options]

Plays a MIDI keyboard (or any MIDI source) on the coil controller as it is
played, sent as a song is: on channel 0, with the low-note shift, the
velocity curve and the coil limits. Note-offs and the sustain pedal are
followed; the keyboard's all-sound-off or all-notes-off silences the coil.

options:
  --input N          take the notes of input device N (see
                     quillarc-cli devices --inputs; default: the first)
  --input-device NAME  take them from the first input device named NAME
  --channel N        take the notes of input channel N only, 0 to 15
  --all-channels     take the notes of every channel (the default)
  --port N           play on output device N (see quillarc-cli devices)
  --device NAME      play on the first output device named exactly NAME
                     (default: the controller, "Quillarc USB Controller")
)";

const char* const kLiveTail = R"(  --help             show this text

It forwards until stopped: q when standard input is a terminal, Ctrl-C,
SIGTERM, SIGHUP, SIGQUIT or Ctrl-Z; each silences every channel. The notes
are shown on standard error as they pass when it is a terminal.

exit status: 0 when stopped, 1 when a device could not be found or opened or
went away, 2 on bad arguments or a coil limits file that cannot be read.
)";

struct LiveArgs {
    std::optional<int> input;
    std::optional<std::string> inputName;
    int channel = LiveForwarder::kAllChannels;
    std::optional<int> port;
    std::optional<std::string> device;
    PlaybackOptions options;
    SendOptions send;
    LimitOptions limits;
};

LiveArgs parseLiveArgs(const std::vector<std::string>& args, bool& helpShown)
{
    LiveArgs parsed;
    bool channelGiven = false;
    bool allGiven = false;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            helpShown = true;
            return parsed;
        }
        if (arg == "--channel") {
            (void)takeNoteOption(arg, cursor, parsed.options);
            parsed.channel = parsed.options.playChannel;
            channelGiven = true;
        } else if (arg == "--all-channels") {
            allGiven = true;
        } else if (takeNoteOption(arg, cursor, parsed.options) || takeSendOption(arg, cursor, parsed.send) ||
                   takeLimitOption(arg, cursor, parsed.limits)) {
            continue;
        } else if (arg == "--input") {
            parsed.input = cursor.intValueOf(arg);
        } else if (arg == "--input-device") {
            parsed.inputName = cursor.valueOf(arg);
        } else if (arg == "--port") {
            parsed.port = cursor.intValueOf(arg);
        } else if (arg == "--device") {
            parsed.device = cursor.valueOf(arg);
        } else {
            throw UsageError("unknown argument " + arg);
        }
    }
    if (parsed.input && parsed.inputName) {
        throw UsageError("give either --input or --input-device, not both");
    }
    if (channelGiven && allGiven) {
        throw UsageError("give either --channel or --all-channels, not both");
    }
    if (parsed.port && parsed.device) {
        throw UsageError("give either --port or --device, not both");
    }
    return parsed;
}

// The input device to play, or nothing after saying why on stderr.
std::optional<int> chooseInput(const LiveArgs& args, MidiInputService& inputs)
{
    const int count = inputs.deviceCount();
    if (count <= 0) {
        std::cerr << kNoInputDevicesText << '\n';
        return std::nullopt;
    }
    if (args.input) {
        if (*args.input < 0 || *args.input >= count) {
            std::cerr << "Error: there is no input device " << *args.input << " (devices: " << count << ")\n";
            return std::nullopt;
        }
        return *args.input;
    }
    if (!args.inputName) {
        return 0;
    }
    for (int index = 0; index < count; ++index) {
        if (inputs.productName(index) == *args.inputName) {
            return index;
        }
    }
    std::cerr << "Error: no input device named " << *args.inputName << '\n';
    return std::nullopt;
}

// Shows each note on standard error, when it is a terminal.
class NoteLines final : public LiveObserver {
public:
    explicit NoteLines(bool show) : m_show(show) {}
    void notePlayed(int key, double duty) override
    {
        if (m_show) {
            const std::string line = liveNoteText(key, duty) + "\n";
            (void)::write(STDERR_FILENO, line.data(), line.size());
        }
    }

private:
    bool m_show;
};

}  // namespace

int runLiveCommand(const std::vector<std::string>& args)
{
    bool helpShown = false;
    LiveArgs parsed = parseLiveArgs(args, helpShown);
    if (helpShown) {
        std::cout << kLiveUsage << kShiftOptionsHelp << kSendOptionsHelp << kLimitOptionsHelp << kLiveTail;
        return 0;
    }
    if (!applyCurve(parsed.send, parsed.options)) {
        return 1;
    }
    if (!applyLimits(parsed.limits, parsed.options)) {
        return 2;
    }

    TerminationSignals signals(TerminationSignals::Delivery::SignalFd, TerminationSignals::JobControl::Taken);
    std::optional<MidiOutput> device;
    const std::optional<int> port = chooseOutputPort(parsed.port, parsed.device, device);
    if (!port) {
        return 1;
    }
    MidiInputService& inputs = midiInputs();
    const std::optional<int> input = chooseInput(parsed, inputs);
    if (!input) {
        return 1;
    }

    AppState state;
    state.controllerPort.store(*port);
    state.setOptions(parsed.options);
    NoteLines lines(::isatty(STDERR_FILENO) != 0);
    LiveSession session(state, lines, inputs, *input, parsed.channel);
    switch (session.start(parsed.send.volume)) {
    case LiveSession::Start::ControllerFailed:
        std::cerr << kCannotOpenControllerText << '\n';
        return 1;
    case LiveSession::Start::InputFailed:
        std::cerr << kCannotOpenInputText << '\n';
        return 1;
    case LiveSession::Start::Started:
        break;
    }

    // The worker is owned as every worker is; its end is seen at the next
    // look, beside the signals and the keys.
    LiveEnd end = LiveEnd::Stopped;
    std::atomic<bool> ended{false};
    WorkerOwner worker([&session] { session.stop(); });
    worker.start([&](WorkerOwner::Generation) {
        end = session.run();
        ended.store(true);
    });

    TerminalMode terminal(kStandardInput);
    bool stopping = false;
    while (!stopping && !ended.load()) {
        const InputReady ready = waitForInput(signals, terminal, kLookIntervalMs);
        if (ready.signal) {
            // A continue alone changes nothing; every other signal ends it.
            for (int signal = signals.take(); signal != 0; signal = signals.take()) {
                stopping = stopping || signal != TerminationSignals::kContinue;
            }
        }
        if (ready.key) {
            const std::optional<char> key = terminal.readKey();
            stopping = stopping || key == 'q' || key == 'Q';
        }
    }
    worker.stopAndJoin();
    terminal.leave();
    if (end == LiveEnd::ControllerLost) {
        std::cerr << kControllerLostText << '\n';
        return 1;
    }
    // The session has silenced channel 0 and closed the device; open it once
    // more so that the last output object, going now, resets it: every
    // channel goes quiet.
    device->selectPort(*port);
    device->openPort();
    if (end == LiveEnd::InputLost) {
        std::cerr << kInputLostText << '\n';
        return 1;
    }
    return 0;
}
