#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "platform/StandardStreams.h"

#include <array>
#include <cstring>
#include <iostream>

namespace {

// Subcommands, in the order the help lists them.
constexpr std::array kCommands{
    Command{"notes", "print the note list of a MIDI file as CSV", runNotesCommand},
    Command{"channels", "list the channels that have notes, with counts and times", runChannelsCommand},
    Command{"pairs", "print the notes matched with their note-offs as CSV", runPairsCommand},
    Command{"weights", "print the weight of each key (Frequency Analysis) as CSV", runWeightsCommand},
    Command{"duty", "print the estimated duty cycle over time as CSV, or its summary", runDutyCommand},
#ifdef QUILLARC_WITH_PLOT
    Command{"plot", "draw the chart of an analysis window into a PNG file", runPlotCommand},
#endif
    Command{"devices", "list the MIDI output devices and mark the controller", runDevicesCommand},
    Command{"coils", "print the rig of coils, and with a song what each coil plays", runCoilsCommand},
    Command{"song", "print or set the song settings of a MIDI file", runSongCommand},
    Command{"check", "check what the rig will do with songs before they play", runCheckCommand},
    Command{"play", "play a MIDI file on the coil controller", runPlayCommand},
#ifdef QUILLARC_WITH_LIVE
    Command{"live", "play a MIDI keyboard on the coil controller as it is played", runLiveCommand},
#endif
    Command{"panic", "silence every channel of the coil controller", runPanicCommand},
#ifdef QUILLARC_WITH_RENDER
    Command{"render", "render a MIDI file to a WAV file as the coil would sound", runRenderCommand},
#endif
};

void printUsage(std::ostream& out)
{
    out << "usage: quillarc-cli COMMAND [ARGS...]\n\n"
           "Headless front end of the Quillarc Control Panel.\n\ncommands:\n";
    for (const Command& command : kCommands) {
        out << "  " << command.name << std::string(10 - std::strlen(command.name), ' ') << command.summary << '\n';
    }
    out << "\n'quillarc-cli COMMAND --help' describes each command's options;\n"
           "'quillarc-cli --version' prints the version.\n";
}

}  // namespace

int main(int argc, char** argv)
{
    useBinaryStandardStreams();
    const std::vector<std::string> args = commandLineArguments(argc, argv);
    if (args.size() < 2) {
        printUsage(std::cerr);
        return 2;
    }
    const std::string& name = args[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(std::cout);
        return 0;
    }
    if (name == "--version") {
        std::cout << "quillarc-cli " << QUILLARC_VERSION << '\n';
        return 0;
    }
    for (const Command& command : kCommands) {
        if (name == command.name) {
            try {
                return command.run(std::vector<std::string>(args.begin() + 2, args.end()));
            } catch (const UsageError& error) {
                std::cerr << "quillarc-cli " << name << ": " << error.what() << '\n';
                return 2;
            }
        }
    }
    std::cerr << "quillarc-cli: unknown command '" << name << "' (see quillarc-cli --help)\n";
    return 2;
}
