#include "playback/RigPanic.h"

#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "playback/RigOutputs.h"
#include "rig/CoilDevices.h"

#include <algorithm>
#include <optional>

PanicOutcome panicRig(const Rig& rig)
{
    // Holds the device table, so that the numbers found stay meant.
    const MidiOutput holder;
    PanicOutcome outcome;
    const auto silence = [&outcome](int port, const std::string& failure) {
        if (silenceDevice(port)) {
            ++outcome.silenced;
        } else {
            outcome.errors.push_back(failure);
        }
    };
    auto devices = coilDevices(rig, outputDeviceNames());
    if (missingCoilError(rig, devices) && MidiOutPort::recount() > 0) {
        devices = coilDevices(rig, outputDeviceNames());
    }
    std::vector<int> done;
    for (std::size_t i = 0; i < rig.coils.size(); ++i) {
        const Coil& coil = rig.coils[i];
        if (!devices[i]) {
            outcome.errors.push_back(*missingCoilError(Rig{{coil}, {}}, {std::nullopt}));
        } else if (std::find(done.begin(), done.end(), *devices[i]) == done.end()) {
            done.push_back(*devices[i]);
            silence(*devices[i], cannotOpenCoilText(coil));
        }
    }
    const int controller = findController();
    if (controller >= 0 && std::find(done.begin(), done.end(), controller) == done.end()) {
        silence(controller, kCannotOpenControllerText);
    }
    return outcome;
}
