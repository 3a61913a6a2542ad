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
#include "rig/CoilDevices.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <set>

namespace {

const char* const kRenderUsage = R"(usage: quillarc-cli render FILE -o OUT.wav [options]

Renders one channel of a Standard MIDI File offline to a WAV file (48 kHz,
mono; with a rig file one WAV channel per coil, in the rig's order, and a line
per coil): the sound of the coil simulator quillarc-coil while 'quillarc-cli play'
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
// The controllers as recorders: what the playback session sends to each,
// stamped with the session's clock. One device, the controller, without a
// rig; else one per coil, named as the rig names them.
class RecordingController : public MidiService {
public:
    std::uint32_t now = 0;

    explicit RecordingController(std::vector<std::string> names)
        : m_names(std::move(names)), m_messages(m_names.size()), m_open(m_names.size(), false)
    {
    }
    const std::vector<TimedMessage>& messages(int device) const { return m_messages[static_cast<std::size_t>(device)]; }

    int deviceCount() override { return static_cast<int>(m_names.size()); }
    std::string productName(int device) override { return known(device) ? m_names[static_cast<std::size_t>(device)] : ""; }
    bool open(int device) override
    {
        return known(device) && (m_open[static_cast<std::size_t>(device)] = true);
    }
    void close(int device) override
    {
        if (known(device)) {
            m_open[static_cast<std::size_t>(device)] = false;
        }
    }
    // The session has silenced the coil before the device is reset; the
    // synthesis is silent by then whatever the reset would add.
    void reset(int) override {}
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        if (!known(device) || !m_open[static_cast<std::size_t>(device)]) {
            return kSendDeviceNotOpen;
        }
        m_messages[static_cast<std::size_t>(device)].push_back({now * kFramesPerMs, {status, data1, data2}, 3});
        return 0;
    }

private:
    bool known(int device) const { return device >= 0 && static_cast<std::size_t>(device) < m_names.size(); }

    std::vector<std::string> m_names;
    std::vector<std::vector<TimedMessage>> m_messages;
    std::vector<bool> m_open;
};

// The devices a rig's coils are looked for among: each coil's name once for
// each coil that names it (a name "NAME #N" as NAME), in rig order.
std::vector<std::string> deviceNamesOf(const Rig& rig)
{
    std::vector<std::string> names;
    for (const Coil& coil : rig.coils) {
        const std::size_t mark = coil.device.rfind(" #");
        const bool numbered = mark != std::string::npos && mark + 2 < coil.device.size() &&
                              coil.device.find_first_not_of("0123456789", mark + 2) == std::string::npos;
        names.push_back(numbered ? coil.device.substr(0, mark) : coil.device);
    }
    return names;
}

// Each coil's messages synthesised into one channel of the file, a second at
// a time; the peak of each coil's measured duty into `measured`.
bool writeRigWav(WavWriter& wav, const std::vector<const std::vector<TimedMessage>*>& coils, std::uint64_t endFrame,
                 std::vector<double>& measured)
{
    const std::size_t channels = coils.size();
    std::vector<CoilSynth> synths(channels, CoilSynth(kSampleRate));
    std::vector<std::size_t> next(channels, 0);
    std::vector<std::vector<float>> blocks(channels);
    std::vector<float> frames;
    measured.assign(channels, 0.0);
    for (std::uint64_t start = 0; start < endFrame; start += kSampleRate) {
        const std::uint64_t end = std::min<std::uint64_t>(start + kSampleRate, endFrame);
        for (std::size_t c = 0; c < channels; ++c) {
            // Only this second's messages: those before it have been applied.
            const std::vector<TimedMessage>& all = *coils[c];
            std::vector<TimedMessage> second;
            for (; next[c] < all.size() && all[next[c]].frame < end; ++next[c]) {
                second.push_back(all[next[c]]);
            }
            blocks[c].clear();
            renderTimed(
                synths[c], second, end,
                [&](const float* samples, std::size_t count) {
                    blocks[c].insert(blocks[c].end(), samples, samples + count);
                    return true;
                },
                [&](const DutyReport& report) { measured[c] = std::max(measured[c], report.measured); });
        }
        frames.assign(static_cast<std::size_t>(end - start) * channels, 0.0F);
        for (std::size_t c = 0; c < channels; ++c) {
            for (std::size_t f = 0; f < blocks[c].size(); ++f) {
                frames[f * channels + c] = blocks[c][f];
            }
        }
        if (!wav.write(frames.data(), static_cast<std::size_t>(end - start))) {
            return false;
        }
    }
    return wav.close();
}

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

// A rig's file: one channel per coil, in rig order, and a line per coil.
int writeRig(const std::string& outName, const Rig& rig, const RecordingController& controller,
             const PlaybackOptions& options, const std::vector<CoilLimitCounts>& limited)
{
    const auto devices = coilDevices(rig, deviceNamesOf(rig));
    std::vector<const std::vector<TimedMessage>*> coils;
    std::uint64_t last = 0;
    for (const auto& device : devices) {
        coils.push_back(&controller.messages(*device));
        last = std::max(last, coils.back()->empty() ? 0 : coils.back()->back().frame);
    }
    const std::uint64_t endFrame = last + kTailMs * kFramesPerMs;
    WavWriter wav;
    std::vector<double> measured;
    if (!wav.open(outName, kSampleRate, static_cast<int>(coils.size())) || !writeRigWav(wav, coils, endFrame, measured)) {
        std::cerr << "Error: " << wav.error() << '\n';
        return 1;
    }
    std::printf("%s: %.3f s, %zu channels\n", outName.c_str(), static_cast<double>(endFrame) / kSampleRate,
                coils.size());
    for (std::size_t c = 0; c < coils.size(); ++c) {
        std::printf("  channel %zu, coil %s: duty peak %.2f %%, measured %.2f %%", c + 1, rig.coils[c].name.c_str(),
                    peakDuty(*coils[c]) * 100.0, measured[c] * 100.0);
        if (coilLimitsInForce(rig.coils[c], options.coilLimits).any()) {
            std::printf(", limits: %lld softened, %lld dropped, %lld cut", static_cast<long long>(limited[c].softened),
                        static_cast<long long>(limited[c].dropped), static_cast<long long>(limited[c].cut));
        }
        std::printf("\n");
    }
    return 0;
}

}  // namespace

int runRenderCommand(const std::vector<std::string>& args)
{
    PlaybackOptions options;
    SendOptions send;
    LimitOptions limits;
    RigArgs rigArgs;
    SingleCoilArgs single;
    SongSettingsArgs song;
    std::string fileName;
    std::string outName;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kRenderUsage << kSpeedOptionsHelp << kNoteOptionsHelp << kSingleCoilOptionsHelp
                      << kSendOptionsHelp
                      << kLimitOptionsHelp << kRigOptionsHelp << kRenderTail;
            return 0;
        }
        if (takeNoteOption(arg, cursor, options) || takeSendOption(arg, cursor, send) ||
            takeLimitOption(arg, cursor, limits) || takeRigOption(arg, cursor, rigArgs) ||
            takeSingleCoilOption(arg, cursor, single) || takeSongSettingsOption(arg, cursor, song, false)) {
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
    std::optional<Rig> rig;
    if (!applyLimits(limits, options) || !readRigArgs(rigArgs, options.coilLimits, rig)) {
        return 2;
    }
    if (single.any()) {
        if (rig) {
            throw UsageError("--channels, --voices, --keep and --transpose are for one coil without a rig file "
                             "(give --no-rig)");
        }
        rig = Rig{{singleCoil(single, options)}, {}};
    }

    auto controller =
        std::make_shared<RecordingController>(rig ? deviceNamesOf(*rig) : std::vector<std::string>{kControllerName});
    if (!MidiOutPort::installService(controller)) {
        std::cerr << "Error: the output layer is already in use\n";
        return 1;
    }
    AppState state;
    state.controllerPort.store(0);
    state.volumePosition.store(127 - send.volume);
    state.setOptions(options);
    state.setRig(rig);
    state.setCurrentFileName(fileName);
    // The song's settings apply as when it plays, but a loop would never end.
    state.setSongChoices({!song.ignore, song.speedPercent, std::nullopt, false});
    state.playing.store(1);

    // Playback as the worker runs it, on a clock that jumps to each due time.
    bool played = false;
    CoilLimitCounts limited;
    std::vector<CoilLimitCounts> limitedPerCoil;
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
            for (std::size_t coil = 0; rig && coil < rig->coils.size(); ++coil) {
                limitedPerCoil.push_back(session.limitCounts(coil));
            }
        }
    }
    if (!played) {
        return 1;
    }
    if (rig) {
        return writeRig(outName, *rig, *controller, options, limitedPerCoil);
    }

    const std::vector<TimedMessage>& messages = controller->messages(0);
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
