#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "midifile/MidiFile.h"
#include "playback/NoteList.h"

#include <iostream>

namespace {

const char* const kNotesUsage = R"(usage: quillarc-cli notes FILE [options]

Reads a Standard MIDI File and prints the note list of one channel as CSV on
standard output: a header "time_ms,key,velocity", then one line per entry in
playing order (a velocity of 0 releases the key). Reader diagnostics and tempo
changes go to standard error.

options:
)";

const char* const kNotesTail = R"(  --help             show this text

exit status: 0 on success (also with no entries), 1 when the file could not be
read (the entries of what was read are still printed) or the note list could
not be built, 2 on bad arguments.
)";

}  // namespace

int runNotesCommand(const std::vector<std::string>& args)
{
    PlaybackOptions options;
    std::string fileName;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kNotesUsage << kNoteOptionsHelp << kNotesTail;
            return 0;
        }
        if (takeNoteOption(arg, cursor, options)) {
            continue;
        }
        if (arg.starts_with("-") && arg != "-") {
            throw UsageError("unknown option " + arg);
        } else if (fileName.empty()) {
            fileName = arg;
        } else {
            throw UsageError("only one FILE may be given");
        }
    }
    if (fileName.empty()) {
        throw UsageError("notes needs a FILE (see quillarc-cli notes --help)");
    }

    // The CSV owns standard output; everything the core prints goes to stderr.
    std::ostream csv(std::cout.rdbuf());
    std::streambuf* const saved = std::cout.rdbuf(std::cerr.rdbuf());
    MidiFile file(fileName);
    file.toAbsoluteTicks();
    file.mergeTracks();
    const NoteList notes = extractNotes(file, options);
    std::cout.rdbuf(saved);

    const ReadResult& read = file.readResult();
    if (read.status == ReadResult::Status::CannotOpen) {
        std::cerr << "Error: cannot open file " << fileName << '\n';
    }
    if (!notes.ok()) {
        std::cerr << *notes.error << '\n';
        return 1;
    }
    csv << "time_ms,key,velocity\n";
    for (const NoteListEntry& entry : notes.entries) {
        csv << entry.timeMs << ',' << entry.key << ',' << entry.velocity << '\n';
    }
    csv.flush();
    return read.ok() ? 0 : 1;
}
