#include "midiout/Controller.h"

#include "midiout/MidiOutput.h"
#include "midiout/ShortMessage.h"

int findController()
{
    MidiOutput probe;
    for (int index = 0; index < MidiOutput::deviceCount(); ++index) {
        probe.selectPort(index);
        if (probe.portName() == kControllerName) {
            return index;
        }
    }
    return -1;
}

int findControllerAfresh()
{
    // The probe holds the table while it is counted again.
    MidiOutput holder;
    MidiOutPort::recount();
    return findController();
}

bool silenceDevice(int port)
{
    MidiOutput output;
    if (port < 0 || port >= MidiOutput::deviceCount()) {
        return false;
    }
    output.selectPort(port);
    const bool wasOpen = output.isOpen() == 1;
    if (output.openPort() != 1) {
        return false;
    }
    bool allSent = true;
    for (const auto& message : resetMessages()) {
        allSent = output.sendMessage(message[0], message[1], message[2]) == 0 && allSent;
    }
    if (!wasOpen) {
        output.closePort();
    }
    return allSent;
}
