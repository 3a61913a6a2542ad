#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SongCommand.h"
#include "views/SongCheck.h"

#include <iostream>

namespace {

const std::string kCheckHelp = std::string(R"(usage: quillarc-cli check SONG... [options]

Checks what the rig (or the one coil on the controller, without a rig file)
will do with each SONG before it plays, from the same note lists and coil
model that playback uses: the channels with notes that no coil plays (with
their note counts and track names; 0 is the first MIDI channel), and per
coil the notes it plays, the notes dropped by the transpose or the key range
and by the voice rule, the notes the voice rule steals, the most notes
sounding at once, the peak of the coil model's duty estimate against the
coil's duty limit and how many notes its limits would soften and drop, and
the notes longer than its maximum note length. For a song of which the rig
plays nothing or very little, it suggests the channel to put on a coil.
Each song is checked with its song settings, as play plays it.

options:
  --format text|csv  text (the default), or CSV with one row per finding
                     under the header
                     song,finding,coil,channel,count,value,limit,track
)") + kSpeedOptionsHelp + kNoteOptionsHelp + kLimitOptionsHelp + kRigOptionsHelp +
                                "  --help             show this text\n\n"
                                "exit status: 0 when every song was checked, 1 when one could not be read,\n"
                                "2 on bad arguments or a rig or coil limits file that cannot be read.\n";

}  // namespace

int runCheckCommand(const std::vector<std::string>& args)
{
    PlaybackOptions options;
    LimitOptions limits;
    RigArgs rigArgs;
    SongSettingsArgs songArgs;
    bool csv = false;
    std::vector<std::string> songs;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kCheckHelp;
            return 0;
        }
        if (arg == "--format") {
            const std::string format = cursor.valueOf(arg);
            if (format != "text" && format != "csv") {
                throw UsageError("--format takes text or csv, not " + format);
            }
            csv = format == "csv";
            continue;
        }
        if (takeNoteOption(arg, cursor, options) || takeLimitOption(arg, cursor, limits) ||
            takeRigOption(arg, cursor, rigArgs) || takeSongSettingsOption(arg, cursor, songArgs, false)) {
            continue;
        }
        if (arg.starts_with("-") && arg != "-") {
            throw UsageError("unknown option " + arg);
        }
        songs.push_back(arg);
    }
    if (songs.empty()) {
        throw UsageError("no SONG given");
    }
    std::optional<Rig> fromFile;
    if (!applyLimits(limits, options) || !readRigArgs(rigArgs, options.coilLimits, fromFile)) {
        return 2;
    }
    const Rig rig = rigInForce(fromFile, options);
    if (csv) {
        std::cout << kCheckCsvHeader << '\n';
    }
    int status = 0;
    for (const std::string& song : songs) {
        SongSettings settings;
        if (!songSettingsOf(song, songArgs, settings)) {
            return 2;
        }
        Rig songRig = rig;
        applySongSettings(songRig, settings);
        PlaybackOptions songOptions = options;
        songOptions.speedPercent = songArgs.speedPercent.value_or(settings.speedPercent.value_or(100));
        const SongCheck check = checkSong(song, songRig, songOptions, diagnosticsOnStderr());
        if (csv) {
            std::cout << checkReportCsv(song, check);
        } else {
            std::cout << (songs.size() > 1 ? "Song " + song + "\n" : std::string()) << checkReportText(check);
        }
        status = check.error ? 1 : status;
    }
    std::cout.flush();
    return status;
}
