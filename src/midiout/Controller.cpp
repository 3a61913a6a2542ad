#include "midiout/Controller.h"

#include "midiout/MidiOutput.h"

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
