#include "cli/SongCommand.h"

#include "rig/RigSong.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <utility>

namespace {

const char* const kSongCoilOptionsHelp =
    "  --coil NAME        the note list of the rig's coil NAME (its channels,\n"
    "                     transpose, shift and voices)\n"
    "  --rig FILE         with --coil: the rig in FILE instead of the rig file\n"
    "  --no-rig           with --coil: no rig file (its one coil is \"Coil\")\n";

}  // namespace

std::optional<SongArguments> parseSongArguments(const std::string& command, const std::vector<std::string>& args,
                                                const std::string& help, const ExtraOption& extra, bool takesChannel)
{
    SongArguments parsed;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            const std::size_t at = help.find("  --help ");
            // duty's --coil is a flag of its own.
            const bool coilTaken = help.find("  --coil ") != std::string::npos;
            std::cout << help.substr(0, at) << kSpeedOptionsHelp
                      << (takesChannel && !coilTaken ? kSongCoilOptionsHelp : "")
                      << (takesChannel ? kSingleCoilOptionsHelp : "") << (at == std::string::npos ? "" : help.substr(at));
            return std::nullopt;
        }
        if ((arg != "--channel" || takesChannel) && takeNoteOption(arg, cursor, parsed.options)) {
            continue;
        }
        if (extra && extra(arg, cursor)) {
            continue;
        }
        if (takeSongSettingsOption(arg, cursor, parsed.songSettings, false)) {
            continue;
        }
        if (takesChannel && arg == "--coil") {
            parsed.coil = cursor.valueOf(arg);
            continue;
        }
        if (takesChannel && (takeRigOption(arg, cursor, parsed.rig) || takeSingleCoilOption(arg, cursor, parsed.single))) {
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
    if (parsed.coil && parsed.single.any()) {
        throw UsageError("--coil takes a coil of the rig: give --channels, --voices, --keep and --transpose without it");
    }
    if ((parsed.rig.file || parsed.rig.none) && !parsed.coil) {
        throw UsageError("--rig and --no-rig choose where --coil finds its coil");
    }
    return parsed;
}

std::optional<LoadedSong> loadSongArguments(const SongArguments& arguments, int& failure)
{
    SongSettings settings;
    if (!songSettingsOf(arguments.fileName, arguments.songSettings, settings)) {
        failure = 2;
        return std::nullopt;
    }
    if (arguments.coil) {
        std::optional<Rig> fromFile;
        if (!readRigArgs(arguments.rig, arguments.options.coilLimits, fromFile)) {
            failure = 2;
            return std::nullopt;
        }
        const std::optional<CoilSongSetup> setup = coilSongSetup(rigInForce(fromFile, arguments.options), settings,
                                                                 *arguments.coil, arguments.songSettings.speedPercent,
                                                                 arguments.options);
        if (!setup) {
            std::cerr << "Error: no coil named " << *arguments.coil << " in "
                      << (fromFile ? fromFile->source.path : std::string("the rig (no rig file: its one coil is ") +
                                                                 kDefaultCoilName + ')')
                      << '\n';
            failure = 2;
            return std::nullopt;
        }
        return loadCoilSong(arguments.fileName, *setup, nullptr, diagnosticsOnStderr());
    }
    PlaybackOptions options = arguments.options;
    options.speedPercent = songSpeed(settings, arguments.songSettings.speedPercent);
    if (!arguments.single.any()) {
        return loadSong(arguments.fileName, options, nullptr, diagnosticsOnStderr());
    }
    Rig rig;
    rig.coils = {singleCoil(arguments.single, arguments.options)};
    return loadRigSong(arguments.fileName, rig, options, nullptr, diagnosticsOnStderr()).coilSong(0);
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

void IntegerCsv::row(std::initializer_list<std::int64_t> values)
{
    char text[24];
    bool first = true;
    for (const std::int64_t value : values) {
        if (!first) {
            m_buffer.push_back(',');
        }
        first = false;
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        m_buffer.append(text, end);
    }
    m_buffer.push_back('\n');
    if (m_buffer.size() >= kBlock) {
        flush();
    }
}

void IntegerCsv::flush()
{
    m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
    m_buffer.clear();
}

std::string exactText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}
