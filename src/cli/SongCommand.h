#pragma once

#include "cli/CliSupport.h"
#include "midifile/MidiFile.h"
#include "song/PlaybackOptions.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// The FILE and note options of a subcommand that reads a song.
struct SongArguments {
    std::string fileName;
    PlaybackOptions options;
};

// A subcommand's own options: takes `arg` (and its value from `cursor`) and
// returns true, or returns false when `arg` is not one of them.
using ExtraOption = std::function<bool(const std::string& arg, ArgCursor& cursor)>;

// Parses FILE, the note options (--channel unless `takesChannel` is false) and
// the command's own options. Prints `help` on standard output and returns
// nothing for --help; throws UsageError for anything else it cannot take.
std::optional<SongArguments> parseSongArguments(const std::string& command, const std::vector<std::string>& args,
                                                const std::string& help, const ExtraOption& extra = {}, bool takesChannel = true);

// The command-line tool's sink of the core's lines (reader diagnostics,
// tempo changes): standard error, each line as it comes, so that standard
// output holds the command's own result alone.
DiagnosticSink& diagnosticsOnStderr();

// Ends a command that has read `fileName`: when the file could not be opened it
// says so (the reader prints nothing then); when `error` is set (the notes could
// not be worked out) it prints that line and no CSV; otherwise it writes the CSV
// of what was read. Returns the exit status: 1 after any failure, else 0.
int finishSongCsv(const std::string& fileName, const ReadResult& read, const std::optional<std::string>& error,
                  const std::function<void(std::ostream&)>& writeCsv);

// A double as "%.17g", which reads back to the same value.
std::string exactText(double value);
