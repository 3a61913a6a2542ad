#pragma once

#include "cli/CliSupport.h"
#include "midifile/MidiFile.h"
#include "song/PlaybackOptions.h"
#include "song/SongLoader.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// The FILE and note options of a subcommand that reads a song, and whose
// note list it is: --coil NAME, a coil of the rig (--rig FILE, else the rig
// file), or the single coil's options (SingleCoilArgs).
struct SongArguments {
    std::string fileName;
    PlaybackOptions options;
    std::optional<std::string> coil;
    RigArgs rig;
    SingleCoilArgs single;
    SongSettingsArgs songSettings;
};

// A subcommand's own options: takes `arg` (and its value from `cursor`) and
// returns true, or returns false when `arg` is not one of them.
using ExtraOption = std::function<bool(const std::string& arg, ArgCursor& cursor)>;

// Parses FILE, the note options (--channel unless `takesChannel` is false),
// the command's own options, then --coil, --rig, --no-rig and the single
// coil's options (whose help goes before --help in `help`). Prints `help` on standard output and returns
// nothing for --help; throws UsageError for anything else it cannot take.
std::optional<SongArguments> parseSongArguments(const std::string& command, const std::vector<std::string>& args,
                                                const std::string& help, const ExtraOption& extra = {}, bool takesChannel = true);

// The song as the command shows it, at the speed of --speed, else of its
// song settings (unless --no-song-settings), with --coil its coil's song
// settings laid over the rig's: loadSong's, else with --coil that coil's
// note list of the rig, or with the single coil's options that coil's (its
// options and limits in `options` of the result). Nothing after printing why
// on standard error, with the exit status in `failure`: 2 for a rig file
// that cannot be read or that has no coil of the name.
std::optional<LoadedSong> loadSongArguments(const SongArguments& arguments, int& failure);

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

// Rows of integers for a CSV on `out`, formatted as stream insertion formats
// them into a buffer of its own and written a block at a time: a big song's
// note list (hundreds of thousands of rows) then costs a few block writes
// instead of five insertions per row.
class IntegerCsv {
public:
    explicit IntegerCsv(std::ostream& out) : m_out(out) { m_buffer.reserve(kBlock + kRowRoom); }
    ~IntegerCsv() { flush(); }
    IntegerCsv(const IntegerCsv&) = delete;
    IntegerCsv& operator=(const IntegerCsv&) = delete;

    void row(std::initializer_list<std::int64_t> values);
    void flush();

private:
    static constexpr std::size_t kBlock = std::size_t{1} << 16;
    static constexpr std::size_t kRowRoom = 256;
    std::ostream& m_out;
    std::string m_buffer;
};

// A double as "%.17g", which reads back to the same value.
std::string exactText(double value);
