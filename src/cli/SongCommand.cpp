#include "cli/SongCommand.h"

#include <cstdio>
#include <iostream>
#include <utility>

std::optional<SongArguments> parseSongArguments(const std::string& command, const std::vector<std::string>& args,
                                                const std::string& help, const ExtraOption& extra, bool takesChannel)
{
    SongArguments parsed;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << help;
            return std::nullopt;
        }
        if ((arg != "--channel" || takesChannel) && takeNoteOption(arg, cursor, parsed.options)) {
            continue;
        }
        if (extra && extra(arg, cursor)) {
            continue;
        }
        if (arg.starts_with("-") && arg != "-") {
            throw UsageError("unknown option " + arg);
        }
        if (!parsed.fileName.empty()) {
            throw UsageError("only one FILE may be given");
        }
        parsed.fileName = arg;
    }
    if (parsed.fileName.empty()) {
        throw UsageError(command + " needs a FILE (see quillarc-cli " + command + " --help)");
    }
    return parsed;
}

DiagnosticSink& diagnosticsOnStderr()
{
    static StreamDiagnostics lines(std::cerr);
    return lines;
}

int finishSongCsv(const std::string& fileName, const ReadResult& read, const std::optional<std::string>& error,
                  const std::function<void(std::ostream&)>& writeCsv)
{
    if (read.status == ReadResult::Status::CannotOpen) {
        std::cerr << "Error: cannot open file " << fileName << '\n';
    }
    if (error) {
        std::cerr << *error << '\n';
        return 1;
    }
    writeCsv(std::cout);
    std::cout.flush();
    return read.ok() ? 0 : 1;
}

std::string exactText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}
