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

CoreOutputOnStderr::CoreOutputOnStderr() : m_saved(std::cout.rdbuf(this)) {}

CoreOutputOnStderr::~CoreOutputOnStderr()
{
    std::cout.rdbuf(m_saved);
    if (!m_line.empty()) {
        std::cerr << m_line << std::flush;
    }
}

bool CoreOutputOnStderr::printed(const std::string& line) const
{
    std::lock_guard lock(m_mutex);
    return m_printed.count(line) != 0;
}

// Without a buffer every character comes here: the core prints a few short
// lines, and each leaves whole as soon as it ends.
int CoreOutputOnStderr::overflow(int c)
{
    if (c == traits_type::eof()) {
        return traits_type::not_eof(c);
    }
    std::lock_guard lock(m_mutex);
    if (c != '\n') {
        m_line.push_back(static_cast<char>(c));
        return c;
    }
    std::cerr << m_line << '\n' << std::flush;
    m_printed.insert(std::exchange(m_line, {}));
    return c;
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
