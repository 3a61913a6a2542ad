#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"

#include <iostream>

namespace {

const char* const kDevicesHelp = R"(usage: quillarc-cli devices

Lists the MIDI output devices on standard output, one per line as
INDEX<TAB>NAME, numbered as the control panel numbers them. The controller, the
first device named exactly "Quillarc USB Controller", ends its line with
<TAB>controller. A device that cannot be opened to read its name shows an
empty name.

options:
  --help             show this text

exit status: 0, also when there is no device (then standard output stays empty
and standard error says so), 2 on bad arguments.
)";

}  // namespace

int runDevicesCommand(const std::vector<std::string>& args)
{
    ArgCursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kDevicesHelp;
            return 0;
        }
        throw UsageError("devices takes no argument '" + arg + "'");
    }

    // The first output object ends the process when there is no device, so
    // ask the platform layer before making one.
    if (MidiOutPort::service()->deviceCount() <= 0) {
        std::cerr << "quillarc-cli devices: no MIDI output devices\n";
        return 0;
    }
    MidiOutput probe;
    const int controller = findController();
    for (int index = 0; index < MidiOutput::deviceCount(); ++index) {
        probe.selectPort(index);
        std::cout << index << '\t' << probe.portName();
        if (index == controller) {
            std::cout << "\tcontroller";
        }
        std::cout << '\n';
    }
    std::cout.flush();
    return 0;
}
