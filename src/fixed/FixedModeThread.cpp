#include "fixed/FixedModeThread.h"

#include "fixed/FixedModeControls.h"
#include "fixed/FixedModeEngine.h"
#include "fixed/FixedTone.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "playback/AppState.h"
#include "playback/Clock.h"
#include "playback/RigOutputs.h"
#include "rig/CoilDevices.h"

#include <algorithm>
#include <chrono>

namespace {

// The engine's output going to the controller and the observer.
class OutputSink : public FixedModeSink {
public:
    OutputSink(MidiOutput& output, FixedModeObserver& observer) : m_output(output), m_observer(observer) {}

    void sendNoteOn(int channel, int key, int velocity) override { m_output.sendNoteOn(channel, key, velocity); }
    void sendControlChange(int channel, int controller, int value) override
    {
        m_output.sendControlChange(channel, controller, value);
    }
    void silence(int channel) override { m_output.silence(channel); }
    void statusText(const std::string& text) override { m_observer.statusText(text); }

private:
    MidiOutput& m_output;
    FixedModeObserver& m_observer;
};

}  // namespace

namespace {

// Opens the device of coil `index` of `rig` on `output`; the text that says
// why it did not, or nothing.
std::optional<std::string> openCoil(const Rig& rig, std::size_t index, MidiOutput& output)
{
    const Coil& coil = rig.coils[index];
    const auto port = findCoilDevice(coil.device, outputDeviceNames());
    if (!port) {
        return missingCoilError(Rig{{coil}, {}}, {std::nullopt});
    }
    // Another coil's device, its tone silenced when it was left: closed, as
    // an open device keeps the devices from being counted again.
    if (output.isOpen() == 1 && output.port() != *port) {
        output.closePort();
    }
    output.selectPort(*port);
    if (output.openPort() != 1) {
        return cannotOpenCoilText(coil);
    }
    return std::nullopt;
}

}  // namespace

void fixedModeThread(FixedModeControls& controls, AppState& state, MidiOutput& output, FixedModeObserver& observer,
                     std::size_t coil)
{
    observer.statusText("Entering fixed mode");
    CoilLimits limits = state.options()->coilLimits;
    if (const auto rig = state.rig()) {
        coil = std::min(coil, rig->coils.size() - 1);
        if (const auto failed = openCoil(*rig, coil, output)) {
            observer.statusText(*failed);
            return;
        }
        limits = coilLimitsInForce(rig->coils[coil], limits);
    } else if (const int port = openDevice(output, state.controllerPort.load(), state.controllerName()); port >= 0) {
        state.controllerPort.store(port);
    }

    // The power slider starts at the main volume (whose top is loudest).
    const int power = kFixedPowerHighest - state.volumePosition.load();
    controls.setPowerPosition(power);
    controls.setFrequencyPosition(kFixedStartKey);
    observer.showPositions(kFixedStartKey, power);

    OutputSink sink(output, observer);
    // The limits in force when fixed mode is entered hold until it ends.
    FixedModeEngine engine(sink, limits);
    engine.start(controls.frequencyPosition(), controls.powerPosition(), nowMs());
    std::uint64_t againSeen = controls.againRequests();
    std::optional<int> velocityShown = engine.soundingVelocity();
    observer.velocitySent(velocityShown);

    while (true) {
        const std::uint64_t seen = controls.changes().count();
        engine.update(controls.frequencyPosition(), controls.powerPosition(), nowMs());
        engine.cutIfDue(nowMs());
        if (const std::uint64_t again = controls.againRequests(); again != againSeen) {
            againSeen = again;
            engine.soundAgain(nowMs());
        }
        if (engine.soundingVelocity() != velocityShown) {
            velocityShown = engine.soundingVelocity();
            observer.velocitySent(velocityShown);
        }
        if (!controls.running()) {
            engine.stop();
            return;
        }
        // Asleep until a slider moves, or until the tone is due to be cut.
        if (const auto cutAt = engine.nextCutAt(nowMs())) {
            const auto delay = static_cast<std::int32_t>(*cutAt - nowMs());
            controls.changes().waitUntil(seen, std::chrono::steady_clock::now() +
                                                   std::chrono::milliseconds(std::max<std::int32_t>(delay, 0)));
        } else {
            controls.changes().wait(seen);
        }
    }
}
