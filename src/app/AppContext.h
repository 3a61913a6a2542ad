#pragma once

#include "playback/AppState.h"
#include "song/PlaybackOptions.h"

#include <memory>
#include <optional>
#include <string>

class MidiOutput;

// What the control panel holds for its whole run, built before the main
// window: the state shared with the workers, the options record, and the
// output object that fixed mode plays through.
//
// Building it reads the coil limits file into the options; a file that
// cannot be read leaves no limits and its message in limitsFileError.
// Building it builds the first output object, which counts the MIDI output
// devices: with none, the process ends there with "Error: no MIDI output
// devices" and exit code 1. Install a different MidiService before building it.
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
    // The message of a limits file that could not be read: while it is set,
    // Play and Fixed Mode refuse, as the limits meant for the coil are not
    // known. Cleared once Options has written the file afresh. GUI thread.
    std::optional<std::string> limitsFileError;

    // Writes the coil limits of `options` to the limits file, so that they
    // hold for every program and the next start; clears limitsFileError.
    // The message of a failure to write, nothing on success.
    std::optional<std::string> saveCoilLimits();

    // Port 0, not opened until fixed mode selects and opens the controller;
    // once opened it stays open until the context goes.
    MidiOutput& fixedModeOutput() { return *m_fixedModeOutput; }

private:
    std::unique_ptr<MidiOutput> m_fixedModeOutput;
};
