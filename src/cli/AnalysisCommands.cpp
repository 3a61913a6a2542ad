#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SongCommand.h"
#include "song/SongLoader.h"
#include "views/Analysis.h"
#include "views/Channels.h"
#include "views/Charts.h"

#include <iostream>

namespace {

const std::string kHelpOption = "  --help             show this text\n\n";
const std::string kExitStatus =
    "exit status: 0 on success (also with no notes), 1 when the file could not be\n"
    "read (the rows of what was read are still printed) or the note list could not\n"
    "be built (then nothing is printed), 2 on bad arguments. Reader diagnostics go\n"
    "to standard error.\n";

const std::string kPairsHelp =
    std::string(
        "usage: quillarc-cli pairs FILE [options]\n\n"
        "Prints the notes of one channel as the analysis windows see them: each note-on\n"
        "matched with the first later note-off of its key (two note-ons before one\n"
        "note-off both end there; a note-on never released is left out). CSV on\n"
        "standard output: a header \"key,velocity,start,length\", then one row per\n"
        "note in the order of the note-ons; start and length are in milliseconds.\n\n") +
    "options:\n" + kNoteOptionsHelp + kHelpOption + kExitStatus;

const std::string kWeightsHelp =
    std::string(
        "usage: quillarc-cli weights FILE [options]\n\n"
        "Prints the weight of each key as the Frequency Analysis window draws it: the\n"
        "sum of velocity x length (ms) of its notes. CSV on standard output: a header\n"
        "\"key,weight\", 128 rows for keys 0..127, then \"scale,VALUE\": the largest\n"
        "weight, but at least 1, which a full-height bar stands for.\n\n") +
    "options:\n" + kNoteOptionsHelp + kHelpOption + kExitStatus;

const std::string kDutyHelp =
    std::string(
        "usage: quillarc-cli duty FILE [options]\n\n"
        "Prints the estimated duty cycle of the coil over the song, as the Duty Cycle\n"
        "window draws it: one point per note-off and per note-on of keys 36..93, with\n"
        "two voices sounding at most. CSV on standard output: a header\n"
        "\"time_ms,duty\", then one row per point; a duty is a fraction (0.05 is 5 %).\n\n") +
    "options:\n" + kNoteOptionsHelp +
    "  --summary          print instead one line \"peak P % at TIME ms, mean M %\":\n"
    "                     the first highest point and the mean over time, each\n"
    "                     duty held until the next point (0 with fewer than two\n"
    "                     points; peak 0 at 0 ms without any), as percentages to\n"
    "                     two decimals, as the Duty Cycle window shows them\n"
    "  --coil             the coil model's estimate instead: of every key, of what\n"
    "                     play would send (after the curve and the coil limits),\n"
    "                     one point per message sent; the figure quillarc-coil\n"
    "                     and render give\n"
    "  --curve FILE       with --coil: the velocity curve play would use\n" +
    kLimitOptionsHelp + kHelpOption + kExitStatus + "A coil limits file that cannot be read is an exit status of 2.\n";

const std::string kChannelsHelp =
    std::string(
        "usage: quillarc-cli channels FILE [options]\n\n"
        "Shows which channels have notes, to choose the one to play. CSV on standard\n"
        "output: a header \"channel,notes,first_ms,last_ms\", then one row per channel\n"
        "0..15 whose note list holds a note-on, with the number of note-ons and the\n"
        "times of its first and last entries (note-offs included).\n\n") +
    "options:\n" + kShiftOptionsHelp + kHelpOption + kExitStatus;

// The song of the command's coil; nothing when the reason has been printed
// (exit status 2).
std::optional<LoadedSong> load(const SongArguments& arguments)
{
    int failure = 0;
    return loadSongArguments(arguments, failure);
}

}  // namespace

int runPairsCommand(const std::vector<std::string>& args)
{
    const auto parsed = parseSongArguments("pairs", args, kPairsHelp);
    if (!parsed) {
        return 0;
    }
    const std::optional<LoadedSong> loaded = load(*parsed);
    if (!loaded) {
        return 2;
    }
    const LoadedSong& song = *loaded;
    return finishSongCsv(parsed->fileName, song.read, song.notes.error, [&](std::ostream& csv) {
        csv << "key,velocity,start,length\n";
        for (const PairedNote& note : pairNotes(song.notes.entries)) {
            csv << note.key << ',' << note.velocity << ',' << note.start << ',' << note.length << '\n';
        }
    });
}

int runWeightsCommand(const std::vector<std::string>& args)
{
    const auto parsed = parseSongArguments("weights", args, kWeightsHelp);
    if (!parsed) {
        return 0;
    }
    const std::optional<LoadedSong> loaded = load(*parsed);
    if (!loaded) {
        return 2;
    }
    const LoadedSong& song = *loaded;
    return finishSongCsv(parsed->fileName, song.read, song.notes.error, [&](std::ostream& csv) {
        const KeyWeights weights = keyWeights(pairNotes(song.notes.entries));
        csv << "key,weight\n";
        for (std::size_t key = 0; key < weights.weight.size(); ++key) {
            csv << key << ',' << exactText(weights.weight[key]) << '\n';
        }
        csv << "scale," << exactText(weights.scale) << '\n';
    });
}

int runDutyCommand(const std::vector<std::string>& args)
{
    bool summary = false;
    bool coil = false;
    SendOptions send;
    LimitOptions limits;
    auto parsed = parseSongArguments("duty", args, kDutyHelp, [&](const std::string& arg, ArgCursor& cursor) {
        if (arg == "--summary" || arg == "--coil") {
            (arg == "--coil" ? coil : summary) = true;
            return true;
        }
        if (arg == "--curve") {
            send.curveFile = cursor.valueOf(arg);
            return true;
        }
        return takeLimitOption(arg, cursor, limits);
    });
    if (!parsed) {
        return 0;
    }
    if (!applyLimits(limits, parsed->options)) {
        return 2;
    }
    if (send.curveFile && !coil) {
        throw UsageError("--curve needs --coil (see quillarc-cli duty --help)");
    }
    PlaybackOptions options = parsed->options;
    if (!applyCurve(send, options)) {
        return 1;
    }
    const std::optional<LoadedSong> loaded = load(*parsed);
    if (!loaded) {
        return 2;
    }
    const LoadedSong& song = *loaded;
    return finishSongCsv(parsed->fileName, song.read, song.notes.error, [&](std::ostream& out) {
        const std::vector<DutyPoint> points =
            coil ? coilDutyPoints(song.notes.entries, options) : dutyPoints(song.notes.entries);
        if (summary) {
            out << dutySummaryText(summarizeDuty(points)) << '\n';
            return;
        }
        out << "time_ms,duty\n";
        for (const DutyPoint& point : points) {
            out << point.timeMs << ',' << exactText(point.duty) << '\n';
        }
    });
}

int runChannelsCommand(const std::vector<std::string>& args)
{
    const auto parsed = parseSongArguments("channels", args, kChannelsHelp, {}, false);
    if (!parsed) {
        return 0;
    }
    const ChannelFileSurvey file = surveyChannelsOfFile(parsed->fileName, parsed->options, nullptr, diagnosticsOnStderr());
    return finishSongCsv(parsed->fileName, file.read, file.survey.error, [&](std::ostream& csv) {
        csv << "channel,notes,first_ms,last_ms\n";
        for (const ChannelNotes& channel : file.survey.channels) {
            csv << channel.channel << ',' << channel.notes << ',' << channel.firstMs << ',' << channel.lastMs << '\n';
        }
    });
}
