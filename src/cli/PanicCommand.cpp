#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "playback/RigPanic.h"

#include <iostream>
#include <optional>

namespace {

const char* const kPanicHelp = R"(usage: quillarc-cli panic [--port N] [--rig FILE | --no-rig]

Silences the coil whatever left it sounding (a player that was killed, a
stuck controller): opens the controller, sends sustain off, all-sound-off and
all-notes-off on all 16 channels, and closes it again. With a rig file it
does so on every coil's device and on the controller, each tried whatever
the others did.

options:
  --port N           silence output device N alone instead (see
                     quillarc-cli devices)
)";
const char* const kPanicTail = R"(  --help             show this text

exit status: 0 when every message was handed to every device, 1 when a
device is missing or could not be opened or took no message, 2 on bad
arguments or a rig file that cannot be read (the controller is silenced
still).
)";

}  // namespace

int runPanicCommand(const std::vector<std::string>& args)
{
    std::optional<int> port;
    RigArgs rigArgs;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kPanicHelp << kRigOptionsHelp << kPanicTail;
            return 0;
        }
        if (arg == "--port") {
            port = cursor.intValueOf(arg);
        } else if (!takeRigOption(arg, cursor, rigArgs)) {
            throw UsageError("panic takes no argument '" + arg + "'");
        }
    }
    if (port && rigArgs.file) {
        throw UsageError("give either --port or --rig, not both");
    }
    // A rig file that cannot be read must not keep the controller sounding:
    // it is silenced as without one, and the exit status says so.
    std::optional<Rig> rig;
    const bool rigRead = port || readRigArgs(rigArgs, CoilLimits{}, rig);
    if (rig) {
        const PanicOutcome outcome = panicRig(*rig);
        for (const std::string& error : outcome.errors) {
            std::cerr << error << '\n';
        }
        if (!outcome.ok()) {
            return 1;
        }
        std::cerr << "Coils silenced\n";
        return 0;
    }

    if (MidiOutPort::service()->deviceCount() <= 0) {
        std::cerr << "Error: no MIDI output devices\n";
        return 1;
    }
    MidiOutput table;
    if (!port) {
        port = findController();
        if (*port < 0) {
            std::cerr << "Error: no compatible controller found\n";
            return 1;
        }
    } else if (*port < 0 || *port >= MidiOutput::deviceCount()) {
        std::cerr << "Error: there is no output device " << *port << " (devices: " << MidiOutput::deviceCount()
                  << ")\n";
        return 1;
    }
    if (!silenceDevice(*port)) {
        std::cerr << "Error: cannot open the controller\n";
        return 1;
    }
    std::cerr << "Coil silenced\n";
    return rigRead ? 0 : 2;
}
