#pragma once

#include "midiout/MidiService.h"

#include <memory>

// The system's MIDI output devices as this platform offers them: on Linux
// the ALSA sequencer's ports through RtMidi, then JACK's; on Windows WinMM's.
std::shared_ptr<MidiService> makeSystemMidiService();
