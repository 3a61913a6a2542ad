#include "base/WorkerOwner.h"
#include "cli/CliSupport.h"
#include "cli/CoilRun.h"
#include "cli/Commands.h"
#include "live/LiveNote.h"
#include "live/LiveSession.h"
#include "midiin/MidiInputService.h"
#include "platform/TerminalMode.h"
#include "platform/TerminationSignals.h"
#include "playback/PlaybackSession.h"

#include <unistd.h>

#include <atomic>
#include <iostream>
#include <optional>

namespace {


const char* const kLiveUsage = R"(usage: quillarc-cli live [options]

Plays a MIDI keyboard (or any MIDI source) on the coil controller as it is
played, sent as a song is: on channel 0, with the low-note shift, the
velocity curve and the coil limits. With a rig file each input channel goes
to every coil whose channels hold it, through that coil's transpose, voices,
volume share and limits. Note-offs and the sustain pedal are
followed; the keyboard's all-sound-off or all-notes-off silences the coil.
When the coil limits acted, it says what they did as it ends.

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

exit status: 0 when stopped with q, 128 + the signal's number after a signal
(130 after Ctrl-C), 1 when a device could not be found or opened or went
away, 2 on bad arguments or a coil limits file that cannot be read.
)";

struct LiveArgs {
    std::optional<int> input;
    std::optional<std::string> inputName;
    int channel = LiveForwarder::kAllChannels;
    PlaybackOptions options;
    OutputArgs output;
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
        } else if (takeNoteOption(arg, cursor, parsed.options) || takeOutputOption(arg, cursor, parsed.output)) {
            continue;
        } else if (arg == "--input") {
            parsed.input = cursor.intValueOf(arg);
        } else if (arg == "--input-device") {
            parsed.inputName = cursor.valueOf(arg);
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
    checkOutputArgs(parsed.output);
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

    // Always: it is part of what the command says, as play's status lines.
    void limitsActed(const CoilLimitCounts& counts) override
    {
        const std::string line = coilLimitsText(counts) + "\n";
        (void)::write(STDERR_FILENO, line.data(), line.size());
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
        std::cout << kLiveUsage << kShiftOptionsHelp << kSendOptionsHelp << kLimitOptionsHelp << kRigOptionsHelp
                  << kLiveTail;
        return 0;
    }
    CoilRun run(parsed.output, parsed.options);
    if (run.failure() != 0) {
        return run.failure();
    }
    MidiInputService& inputs = midiInputs();
    const std::optional<int> input = chooseInput(parsed, inputs);
    if (!input) {
        return 1;
    }

    NoteLines lines(::isatty(STDERR_FILENO) != 0);
    LiveSession session(run.state(), lines, inputs, *input, parsed.channel);
    switch (session.start(parsed.output.send.volume)) {
    case LiveSession::Start::ControllerFailed:
        std::cerr << session.startError() << '\n';
        return 1;
    case LiveSession::Start::InputFailed:
        std::cerr << kCannotOpenInputText << '\n';
        return 1;
    case LiveSession::Start::Started:
        break;
    }

    LiveEnd end = LiveEnd::Stopped;
    std::atomic<bool> ended{false};
    bool stopping = false;
    WorkerOwner worker([&session] { session.stop(); });
    worker.start([&](WorkerOwner::Generation) {
        end = session.run();
        ended.store(true);
    });
    TerminalMode terminal(kStandardInput);
    run.watch(terminal, {[&] { return stopping || ended.load(); },
                         [&](const std::function<int()>& take) {
                             // A continue alone changes nothing; every other signal ends it.
                             int stop = 0;
                             for (int signal = take(); signal != 0; signal = take()) {
                                 stop = stop == 0 && signal != TerminationSignals::kContinue ? signal : stop;
                             }
                             stopping = stopping || stop != 0;
                             return stop;
                         },
                         [&](char key) { stopping = stopping || key == 'q' || key == 'Q'; }, [] {}});
    worker.stopAndJoin();
    terminal.leave();
    if (end == LiveEnd::ControllerLost) {
        std::cerr << session.lostText() << '\n';
        return run.exitStatus(1);
    }
    run.resetEveryChannel();
    if (end == LiveEnd::InputLost) {
        std::cerr << kInputLostText << '\n';
        return run.exitStatus(1);
    }
    return run.exitStatus(0);
}
