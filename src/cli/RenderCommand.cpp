#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SongCommand.h"
#include "coil/CoilSynth.h"
#include "coil/OfflineRender.h"
#include "coil/WavWriter.h"
#include "midiout/MidiOutPort.h"
#include "midiout/MidiService.h"
#include "playback/AppState.h"
#include "playback/PlaybackObserver.h"
#include "playback/PlaybackSession.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <set>

namespace {

const char* const kRenderUsage = R"(usage: quillarc-cli render FILE -o OUT.wav [options]

Renders one channel of a Standard MIDI File offline to a WAV file (48 kHz,
mono): the sound of the coil simulator quillarc-coil while 'quillarc-cli play'
plays the song to it, made without a MIDI device or a JACK server. It is fed
the same messages at the same times as play sends them: the channel volume at
the start of the file, each note in the millisecond after it is due, and
the silencing at the end (all-sound-off, a note-off for every key left
sounding, all-notes-off); the file goes on for half a second after that.
It then prints the length, the peak of the estimated duty cycle (the coil
model's, every key counted) and the peak of the measured duty over each
second of the file (the part of the second during which the output was on),
and with coil limits set what they did: how many notes they softened, dropped
and cut.

options:
  -o, --output FILE  the WAV file to write
)";

const char* const kRenderTail = R"(  --help             show this text

exit status: 0 when the file was written, 1 when there was nothing to play or
the file could not be written, 2 on bad arguments or a coil limits file that
cannot be read.
)";

constexpr int kSampleRate = 48000;
constexpr std::uint64_t kFramesPerMs = kSampleRate / 1000;
constexpr std::uint64_t kTailMs = 500;

// The controller as a recorder: what the playback session sends, stamped
// with the session's clock.
class RecordingController : public MidiService {
public:
    std::uint32_t now = 0;
    std::vector<TimedMessage> messages;

    int deviceCount() override { return 1; }
    std::string productName(int device) override { return device == 0 ? "Quillarc USB Controller" : ""; }
    bool open(int device) override
    {
        m_open = device == 0;
        return m_open;
    }
    void close(int) override { m_open = false; }
    // The session has silenced the coil before the device is reset; the
    // synthesis is silent by then whatever the reset would add.
    void reset(int) override {}
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        if (device != 0 || !m_open) {
            return kSendDeviceNotOpen;
        }
        messages.push_back({now * kFramesPerMs, {status, data1, data2}, 3});
        return 0;
    }

private:
    bool m_open = false;
};

// Prints the core's lines as they come and the statuses that do not repeat
// one of them, on standard error.
class StatusPrinter : public PlaybackObserver {
public:
    void diagnostic(const std::string& line) override
    {
        m_printed.insert(line);
        std::cerr << line << '\n';
    }
    void statusText(const std::string& text) override
    {
        if (m_printed.count(text) == 0) {
            std::cerr << text << '\n';
        }
    }
    void progress(int) override {}

private:
    std::set<std::string> m_printed;
};

// The highest duty estimate that lasts at least one sample.
double peakDuty(const std::vector<TimedMessage>& messages)
{
    CoilSynth synth(kSampleRate);
    double peak = 0.0;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        synth.receive(messages[i].bytes.data(), messages[i].size);
        if (i + 1 == messages.size() || messages[i + 1].frame > messages[i].frame) {
            peak = std::max(peak, synth.modelDuty());
        }
    }
    return peak;
}

}  // namespace

int runRenderCommand(const std::vector<std::string>& args)
{
    PlaybackOptions options;
    SendOptions send;
    LimitOptions limits;
    std::string fileName;
    std::string outName;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kRenderUsage << kNoteOptionsHelp << kSendOptionsHelp << kLimitOptionsHelp << kRenderTail;
            return 0;
        }
        if (takeNoteOption(arg, cursor, options) || takeSendOption(arg, cursor, send) || takeLimitOption(arg, cursor, limits)) {
            continue;
        }
        if (arg == "-o" || arg == "--output") {
            outName = cursor.valueOf(arg);
        } else if (arg.starts_with("-") && arg != "-") {
            throw UsageError("unknown option " + arg);
        } else if (fileName.empty()) {
            fileName = arg;
        } else {
            throw UsageError("only one FILE may be given");
        }
    }
    if (fileName.empty() || outName.empty()) {
        throw UsageError("render needs a FILE and -o OUT.wav (see quillarc-cli render --help)");
    }
    if (!applyCurve(send, options)) {
        return 1;
    }
    if (!applyLimits(limits, options)) {
        return 2;
    }

    auto controller = std::make_shared<RecordingController>();
    if (!MidiOutPort::installService(controller)) {
        std::cerr << "Error: the output layer is already in use\n";
        return 1;
    }
    AppState state;
    state.controllerPort.store(0);
    state.volumePosition.store(127 - send.volume);
    state.setOptions(options);
    state.setCurrentFileName(fileName);
    state.playing.store(1);

    // Playback as the worker runs it, on a clock that jumps to each due time.
    bool played = false;
    CoilLimitCounts limited;
    {
        StatusPrinter status;
        PlaybackSession session(state, status);
        if (session.start(controller->now)) {
            played = true;
            while (true) {
                const PlaybackSession::PassResult result = session.pass(controller->now);
                if (!result.goesOn || !result.wakeAt) {
                    break;
                }
                if (*result.wakeAt - controller->now < 0x80000000U) {
                    controller->now = *result.wakeAt;
                }
            }
            limited = session.limitCounts();
        }
    }
    if (!played) {
        return 1;
    }

    const std::vector<TimedMessage>& messages = controller->messages;
    const std::uint64_t endFrame = messages.back().frame + kTailMs * kFramesPerMs;
    WavWriter wav;
    CoilSynth synth(kSampleRate);
    double measuredPeak = 0.0;
    const bool written =
        wav.open(outName, kSampleRate) &&
        renderTimed(
            synth, messages, endFrame,
            [&](const float* samples, std::size_t frames) { return wav.write(samples, frames); },
            [&](const DutyReport& report) { measuredPeak = std::max(measuredPeak, report.measured); }) &&
        wav.close();
    if (!written) {
        std::cerr << "Error: " << wav.error() << '\n';
        return 1;
    }
    std::printf("%s: %.3f s, duty peak %.2f %%, measured %.2f %%", outName.c_str(),
                static_cast<double>(endFrame) / kSampleRate, peakDuty(messages) * 100.0, measuredPeak * 100.0);
    if (options.coilLimits.any()) {
        std::printf(", limits: %lld softened, %lld dropped, %lld cut", static_cast<long long>(limited.softened),
                    static_cast<long long>(limited.dropped), static_cast<long long>(limited.cut));
    }
    std::printf("\n");
    return 0;
}
