#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"

#include <iostream>
#include <optional>

namespace {

const char* const kPanicHelp = R"(usage: quillarc-cli panic [--port N]

Silences the coil whatever left it sounding (a player that was killed, a
stuck controller): opens the controller, sends sustain off, all-sound-off and
all-notes-off on all 16 channels, and closes it again.

options:
  --port N           silence output device N instead (see quillarc-cli devices)
  --help             show this text

exit status: 0 when every message was handed to the device, 1 when there is
no such device or it could not be opened or took no message, 2 on bad
arguments.
)";

}  // namespace

int runPanicCommand(const std::vector<std::string>& args)
{
    std::optional<int> port;
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kPanicHelp;
            return 0;
        }
        if (arg == "--port") {
            port = cursor.intValueOf(arg);
        } else {
            throw UsageError("panic takes no argument '" + arg + "'");
        }
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
    return 0;
}
