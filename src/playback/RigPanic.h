#pragma once

#include "rig/Rig.h"

#include <string>
#include <vector>

// What the panic said of a rig after it ran.
struct PanicOutcome {
    int silenced = 0;                 // devices that took every message
    std::vector<std::string> errors;  // one line per device that could not be silenced
    bool ok() const { return errors.empty(); }
};

// The panic on a rig, whatever left it sounding: the full reset of
// silenceDevice (sustain off, all-sound-off and all-notes-off on all 16
// channels) on every coil's device and on the controller (the first device
// named kControllerName), each device once, the coils in rig order and the
// controller last, each tried whatever the others did. A coil's device
// missing is "Error: coil NAME not found (DEVICE)", one that refuses
// "Error: cannot open coil NAME (DEVICE)", the controller refusing "Error:
// cannot open the controller"; the controller being absent is no error, as
// the rig's coils may all be other devices. For the rig of a rig file (the
// single coil's panic is silenceDevice on the controller). Devices left open
// by others stay open. Counts the devices afresh once when a coil's is
// missing and none is open.
PanicOutcome panicRig(const Rig& rig);
