#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "midiin/MidiInputService.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"

#include <iostream>

namespace {

const char* const kDevicesHelp = R"(usage: quillarc-cli devices [--inputs]

Lists the MIDI output devices on standard output, one per line as
INDEX<TAB>NAME, numbered as the control panel numbers them. The controller, the
first device named exactly "Quillarc USB Controller", ends its line with
<TAB>controller. A device that cannot be opened to read its name shows an
empty name.

options:
  --inputs           list the MIDI input devices instead (for quillarc-cli
                     live), one per line as INDEX<TAB>NAME
  --help             show this text

exit status: 0, also when there is no device (then standard output stays empty
and standard error says so), 2 on bad arguments.
)";

int listInputs()
{
    MidiInputService& service = midiInputs();
    const int count = service.deviceCount();
    if (count <= 0) {
        std::cerr << "quillarc-cli devices: no MIDI input devices\n";
    }
    for (int index = 0; index < count; ++index) {
        std::cout << index << '\t' << service.productName(index) << '\n';
    }
    std::cout.flush();
    return 0;
}

}  // namespace

int runDevicesCommand(const std::vector<std::string>& args)
{
    ArgCursor cursor(args);
    bool inputs = false;
    while (!cursor.done()) {
        const std::string& arg = cursor.next();
        if (arg == "--help" || arg == "-h") {
            std::cout << kDevicesHelp;
            return 0;
        }
        if (arg != "--inputs") {
            throw UsageError("devices takes no argument '" + arg + "'");
        }
        inputs = true;
    }
    if (inputs) {
        return listInputs();
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
