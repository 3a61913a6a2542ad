#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "song/SongSettingsFile.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const kSongHelp = R"(usage: quillarc-cli song SONG [--coil NAME] [--set KEY=VALUE]...

Prints the song settings of SONG and the file they are kept in: what plays
differently for this song alone, whatever its file is called. The file is
$XDG_CONFIG_HOME/quillarc/songs/HASH.conf, HASH being the 64-bit FNV-1a hash
of the song's bytes in hex, so a renamed or copied song keeps its settings and
a changed one starts without. Its keys: volume (1 to 100 percent of every
coil's share), speed (25 to 400 percent), loop (FROM-TO in seconds), and in a
[coil NAME] section channels ("0, 3-5") and transpose (-48 to 48), which
replace the rig's for the coil of that name.

options:
  --set KEY=VALUE    set KEY, or remove it with an empty VALUE, and write the
                     file (never over one that does not parse)
  --coil NAME        the --set options after it are for the coil NAME
  --help             show this text

exit status: 0 when the settings were shown (or written), 1 when SONG or the
settings file cannot be read or written, 2 on bad arguments or a settings
file that does not parse.
)";

struct SongKeyChange {
    std::optional<std::string> coil;
    std::string key;
    std::string value;
};

}  // namespace

int runSongCommand(const std::vector<std::string>& args)
{
    std::optional<std::string> song;
    std::optional<std::string> coil;
    std::vector<SongKeyChange> changes;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kSongHelp;
            return 0;
        }
        if (arg == "--coil") {
            coil = cursor.valueOf(arg);
        } else if (arg == "--set") {
            const std::string change = cursor.valueOf(arg);
            const std::size_t equals = change.find('=');
            if (equals == std::string::npos || equals == 0) {
                throw UsageError("--set needs KEY=VALUE, not '" + change + "'");
            }
            changes.push_back({coil, change.substr(0, equals), change.substr(equals + 1)});
        } else if (arg.starts_with("-") && arg != "-") {
            throw UsageError("unknown option " + arg);
        } else if (song) {
            throw UsageError("only one SONG may be given");
        } else {
            song = arg;
        }
    }
    if (!song) {
        throw UsageError("song needs a SONG (see quillarc-cli song --help)");
    }
    FoundSongSettings found;
    std::string error;
    if (!findSongSettings(*song, found, error)) {
        std::cerr << error << '\n';
        return found.path.empty() ? 1 : 2;
    }
    if (!changes.empty()) {
        for (const SongKeyChange& change : changes) {
            if (const auto wrong = setSongKey(found.settings, change.coil ? &*change.coil : nullptr, change.key,
                                              change.value)) {
                throw UsageError("--set " + change.key + ": " + *wrong);
            }
        }
        if (!writeSongSettings(found.path, found.settings, *song, error)) {
            std::cerr << error << '\n';
            return 1;
        }
        found.found = true;
    }
    if (!found.found || found.settings.empty()) {
        std::cout << "No song settings for " << *song << " (they would be kept in " << found.path << ")\n";
        return 0;
    }
    std::cout << "Song settings of " << *song << " from " << found.path << ":\n"
              << songSettingsText(found.settings, *song).substr(songSettingsText({}, *song).size());
    return 0;
}
