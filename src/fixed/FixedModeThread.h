#pragma once

#include <cstddef>
#include <optional>
#include <string>

class AppState;
class FixedModeControls;
class MidiOutput;

// How the fixed-mode thread reports to the user interface. Called on the
// thread: implementations post to the GUI thread and never touch widgets here.
class FixedModeObserver {
public:
    virtual ~FixedModeObserver() = default;
    // A status-bar message.
    virtual void statusText(const std::string& text) = 0;
    // The thread has set the slider positions (already stored in the
    // controls); the dialog is to show them.
    virtual void showPositions(int key, int power) = 0;
    // The tone now sounds with `velocity` (after the coil limits), or does
    // not sound (cut or refused).
    virtual void velocitySent(std::optional<int> velocity) { static_cast<void>(velocity); }
};

// The fixed-mode worker. Announces itself, opens the controller on `output`
// (openDevice: at state.controllerPort, or where its name is found afresh,
// stored in state.controllerPort), or with a rig file (state.rig()) the
// device of its coil number `coil` under that coil's own limits (a coil whose
// device is missing or refuses to open is said so, and nothing sounds), sets the
// sliders to key 64 and to the power of the main volume slider, sounds the
// tone, and then follows the sliders until controls.running() is cleared.
// Between slider moves it sleeps; "Sound again" (controls.requestAgain)
// sounds a cut tone again, and each change of the velocity sent is
// reported. On the way out it silences channel 0 once,
// reports "Exited Fixed Mode", and leaves the port open in `output`.
//
// The caller owns the thread and joins it after clearing the running flag;
// the last pass acts on the slider positions the controls hold at that time.
void fixedModeThread(FixedModeControls& controls, AppState& state, MidiOutput& output, FixedModeObserver& observer,
                     std::size_t coil = 0);
