#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SongCommand.h"
#include "midiout/MidiOutput.h"
#include "playback/RigOutputs.h"
#include "rig/CoilDevices.h"
#include "rig/RigSong.h"
#include "song/SongSettings.h"
#include "views/Analysis.h"

#include <cstdio>
#include <iostream>
#include <sstream>

namespace {

const std::string kCoilsHelp = std::string(R"(usage: quillarc-cli coils [SONG] [options]

Prints the rig: each coil with its device and whether it is there now, its
channels (0 is the first MIDI channel), voices, keep, transpose, volume share
and coil limits. Without a rig file it is the one coil on the controller,
playing --channel. With a SONG, per coil: the notes it plays, the notes the
voice rule dropped or stole, the notes whose key the transpose took out of
0..127, and the peak of the coil model's duty estimate of what it is sent
(after its limits).

options:
)") + kNoteOptionsHelp + kLimitOptionsHelp + kRigOptionsHelp +
                                "  --help             show this text\n\n"
                                "exit status: 0 on success, 1 when the song could not be read, 2 on bad\n"
                                "arguments or a rig or coil limits file that cannot be read.\n";

// "0, 3-4": the channels as the rig file writes them.
std::string channelsText(const ChannelSet& channels)
{
    const std::string text = channelListText(channels.bits);
    return text.empty() ? "none" : text;
}

std::string limitsText(const CoilLimits& limits)
{
    std::ostringstream text;
    const char* separator = "";
    const auto put = [&](const char* key, const auto& value) {
        if (value) {
            text << separator << key << ' ' << *value;
            separator = ", ";
        }
    };
    put("duty_limit_percent", limits.dutyLimitPercent);
    put("max_note_ms", limits.maxNoteMs);
    put("lowest_key", limits.lowestKey);
    put("highest_key", limits.highestKey);
    return limits.any() ? text.str() : "none";
}

const char* keepText(KeepMode keep)
{
    return keep == KeepMode::Highest ? "highest" : keep == KeepMode::Lowest ? "lowest" : "latest";
}

}  // namespace

int runCoilsCommand(const std::vector<std::string>& args)
{
    PlaybackOptions options;
    LimitOptions limits;
    RigArgs rigArgs;
    std::optional<std::string> songName;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kCoilsHelp;
            return 0;
        }
        if (takeNoteOption(arg, cursor, options) || takeLimitOption(arg, cursor, limits) ||
            takeRigOption(arg, cursor, rigArgs)) {
            continue;
        }
        if (arg.starts_with("-") && arg != "-") {
            throw UsageError("unknown option " + arg);
        }
        if (songName) {
            throw UsageError("only one SONG may be given");
        }
        songName = arg;
    }
    std::optional<Rig> fromFile;
    if (!applyLimits(limits, options) || !readRigArgs(rigArgs, options.coilLimits, fromFile)) {
        return 2;
    }
    const Rig rig = rigInForce(fromFile, options);
    if (fromFile) {
        std::cout << "Rig file " << rig.source.path << ": " << rig.coils.size() << " coil"
                  << (rig.coils.size() == 1 ? "" : "s") << '\n';
    } else {
        std::cout << "No rig file: one coil on the controller\n";
    }
    // The device table is counted while an output object holds it.
    const MidiOutput table;
    const auto devices = coilDevices(rig, outputDeviceNames());
    std::optional<LoadedRigSong> song;
    if (songName) {
        song = loadRigSong(*songName, rig, options, nullptr, diagnosticsOnStderr());
    }
    for (std::size_t i = 0; i < rig.coils.size(); ++i) {
        const Coil& coil = rig.coils[i];
        std::cout << "Coil " << coil.name << ": device " << coil.device << " ("
                  << (devices[i] ? "present" : "missing") << ")\n  channels " << channelsText(coil.channels)
                  << "; voices " << (coil.voices ? std::to_string(*coil.voices) : std::string("all")) << ", keep "
                  << keepText(coil.keep) << "; transpose " << coil.transpose << "; volume " << coil.volumePercent
                  << " %; limits " << limitsText(coilLimitsInForce(coil, options.coilLimits)) << '\n';
        if (!song || !song->coils[i].notes.ok()) {
            continue;
        }
        const CoilNoteCounts& counts = song->coils[i].counts;
        const DutySummary duty = coilDutySummary(song->coils[i].notes.entries, coilOptions(coil, options));
        char peak[96];
        std::snprintf(peak, sizeof peak, "duty peak %.2f %% at %d ms", duty.peak * 100.0, duty.peakMs);
        std::cout << "  plays " << counts.played << " notes; voice rule dropped " << counts.droppedByVoices
                  << ", stole " << counts.stolenByVoices << "; transpose dropped " << counts.droppedByKeyRange
                  << "; " << peak << '\n';
    }
    std::cout.flush();
    if (song && song->read.status == ReadResult::Status::CannotOpen) {
        std::cerr << "Error: cannot open file " << *songName << '\n';
    }
    if (song && !song->coils.front().notes.ok()) {
        std::cerr << *song->coils.front().notes.error << '\n';
        return 1;
    }
    return song && !song->read.ok() ? 1 : 0;
}
