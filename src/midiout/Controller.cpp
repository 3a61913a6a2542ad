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

int openDevice(MidiOutput& output, int port, const std::string& name)
{
    const auto service = MidiOutPort::service();
    const auto opensAt = [&](int index) {
        if (index < 0 || index >= MidiOutPort::deviceCount() || service->productName(index) != name) {
            return false;
        }
        output.selectPort(index);
        return output.openPort() == 1;
    };
    if (opensAt(port)) {
        return port;
    }
    if (MidiOutPort::recount() > 0) {
        for (int index = 0; index < MidiOutPort::deviceCount(); ++index) {
            if (opensAt(index)) {
                return index;
            }
        }
    }
    return -1;
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
