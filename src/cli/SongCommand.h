#pragma once

#include "cli/CliSupport.h"
#include "midifile/MidiFile.h"
#include "song/PlaybackOptions.h"

#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <set>
#include <streambuf>
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

// Sends what the core writes on standard output (reader diagnostics, tempo
// changes) to standard error while it lives, line by line, so that standard
// output holds the command's own result alone. The lines are remembered: a
// status that only repeats one of them need not be printed a second time.
class CoreOutputOnStderr : public std::streambuf {
public:
    CoreOutputOnStderr();
    ~CoreOutputOnStderr() override;
    CoreOutputOnStderr(const CoreOutputOnStderr&) = delete;
    CoreOutputOnStderr& operator=(const CoreOutputOnStderr&) = delete;

    // Whether `line` (without its newline) has been printed. Any thread.
    bool printed(const std::string& line) const;

protected:
    int overflow(int c) override;

private:
    mutable std::mutex m_mutex;
    std::string m_line;
    std::set<std::string> m_printed;
    std::streambuf* m_saved;
};

// Ends a command that has read `fileName`: when the file could not be opened it
// says so (the reader prints nothing then); when `error` is set (the notes could
// not be worked out) it prints that line and no CSV; otherwise it writes the CSV
// of what was read. Returns the exit status: 1 after any failure, else 0.
int finishSongCsv(const std::string& fileName, const ReadResult& read, const std::optional<std::string>& error,
                  const std::function<void(std::ostream&)>& writeCsv);

// A double as "%.17g", which reads back to the same value.
std::string exactText(double value);
