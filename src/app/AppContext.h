#pragma once

#include "playback/AppState.h"
#include "song/PlaybackOptions.h"

#include <memory>
#include <optional>
#include <string>
#include <thread>

class MidiOutput;

// What the control panel holds for its whole run, built before the main
// window: the state shared with the workers, the options record, and the
// output object that fixed mode plays through.
//
// The coil limits file and the rig file are the truth of the limits and the coils: building it reads the
// file into the options, and so does each reloadCoilLimits (at each Play,
// Fixed Mode, live start and Options opening), so that a file edited by
// hand holds from then on. A file that cannot be read leaves its message in
// limitsFileError (and, at start, no limits).
// Building it starts the look-up of the MIDI devices on a thread of its own,
// which builds the first output object (it counts the MIDI output devices)
// and looks for the controller: a JACK client's start and the listing of the
// ports take as long as building the window, and run beside it. Every
// member below that needs the devices waits for the look-up to end (and
// runControlPanel makes sure there is a device before the window shows).
// Install a different MidiService before building it, and touch no output
// object but through it until the look-up has ended.
class AppContext {
public:
    AppContext();
    ~AppContext();

    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    AppState state;
    // The options in force; GUI thread only. Workers get snapshots through
    // state.setOptions.
    PlaybackOptions options;
    // The message of a limits file that could not be read at the latest
    // reading: while it is set, Play, Fixed Mode and live input refuse, as
    // the limits meant for the coil are not known. GUI thread.
    std::optional<std::string> limitsFileError;
    // The same for the rig file: while it cannot be read, which coil plays
    // what is not known, and Play, Fixed Mode and live input refuse.
    std::optional<std::string> rigFileError;

    // Reads the limits file afresh into `options` and hands them to the
    // workers (state.setOptions), or notes why it cannot be read
    // (limitsFileError, the limits left as they were). True when the limits
    // in force changed.
    bool reloadCoilLimits();
    // Reads the rig file afresh and hands its rig to the workers
    // (state.setRig: none without a file, the single coil then), or notes
    // why it cannot be read (rigFileError, the rig left as it was). Read
    // with the limits: at start and at each Play, Fixed Mode, live start
    // and Options opening.
    void reloadRig();
    // Writes the coil limits of `options` into the limits file, keeping
    // what else the user wrote there, so that they hold for every program
    // and the next start. A file that cannot be read is not written over.
    // The message of a failure, nothing on success.
    std::optional<std::string> saveCoilLimits();

    // The number of MIDI output devices the look-up counted (0 for none).
    // Waits for the look-up.
    int deviceCount();
    // The controller's port as the look-up found it (findController), -1
    // when there is none. Waits for the look-up.
    int controllerAtStart();

    // Port 0, not opened until fixed mode selects and opens the controller;
    // once opened it stays open until the context goes. Waits for the
    // look-up.
    MidiOutput& fixedModeOutput();

private:
    // Joins the look-up's thread once it has ended; GUI thread.
    void awaitDevices();

    // Written by the look-up's thread alone until it is joined.
    std::unique_ptr<MidiOutput> m_fixedModeOutput;
    int m_deviceCount = 0;
    int m_controllerAtStart = -1;
    std::thread m_lookup;
};
