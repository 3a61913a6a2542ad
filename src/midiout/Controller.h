#pragma once

#include <string>

// The coil controller's device name, matched exactly and case-sensitively.
inline constexpr const char* kControllerName = "Quillarc USB Controller";

// The index of the first output device whose portName() is exactly
// kControllerName, or -1 when there is none (also when there is no device at
// all). Uses a short-lived output object.
int findController();

// findController after counting the devices afresh, so that a controller
// plugged in, started or renumbered since the last count is found. The count
// is taken only while no device is open (see MidiOutPort::recount); the
// callers run it when nothing plays.
int findControllerAfresh();

class MidiOutput;

// Opens the device named `name` for `output` and returns its number: `port`
// when the device there still has that name and opens; otherwise the devices
// are counted afresh (only while none is open: a count renumbers them) and
// the first one of that name is opened wherever it is now. A device that went
// and came back (a JACK client restarted, a cable plugged in again) may have
// another number by then. -1 when none opens.
int openDevice(MidiOutput& output, int port, const std::string& name);

// The panic: opens device `port` (when it is not open already), sends
// sustain off, all-sound-off and all-notes-off on all 16 channels, and
// closes it again unless it was open before. True when every message was
// handed to the device; false when it could not be opened or a send failed.
bool silenceDevice(int port);
