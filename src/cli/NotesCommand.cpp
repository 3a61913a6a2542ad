#include "cli/Commands.h"
#include "cli/SongCommand.h"
#include "song/SongLoader.h"

#include <iostream>

namespace {

const char* const kNotesHelp = R"(usage: quillarc-cli notes FILE [options]

Reads a Standard MIDI File and prints the note list of one channel as CSV on
standard output: a header "time_ms,key,velocity", then one line per entry in
playing order (a velocity of 0 releases the key). Reader diagnostics and tempo
changes go to standard error.

options:
  --channel N        channel to extract, 0 to 15, 0 being the first MIDI channel
                     (default 0)
  --shift-low-notes  raise keys at or below the lower limit by 8 semitones
  --lower-limit N    highest key that is shifted (default 50)
  --help             show this text

exit status: 0 on success (also with no entries), 1 when the file could not be
read (the entries of what was read are still printed) or the note list could
not be built, 2 on bad arguments.
)";

}  // namespace

int runNotesCommand(const std::vector<std::string>& args)
{
    const auto parsed = parseSongArguments("notes", args, kNotesHelp);
    if (!parsed) {
        return 0;
    }
    int failure = 0;
    const std::optional<LoadedSong> song = loadSongArguments(*parsed, failure);
    if (!song) {
        return failure;
    }
    return finishSongCsv(parsed->fileName, song->read, song->notes.error, [&](std::ostream& csv) {
        csv << "time_ms,key,velocity\n";
        IntegerCsv rows(csv);
        for (const NoteListEntry& entry : song->notes.entries) {
            rows.row({entry.timeMs, entry.key, entry.velocity});
        }
    });
}
