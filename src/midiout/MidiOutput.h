#pragma once

#include "midiout/MidiOutPort.h"

// The object through which the program talks to the coil controller: a port
// with channel-message senders. Channels are 0-15 (cut to 4 bits), data bytes
// are cut to 7 bits. Senders return 0 when the message was handed to the
// device, 2 without a port, otherwise the platform's code.
class MidiOutput : public MidiOutPort {
public:
    // Port 0, not opened.
    MidiOutput();
    MidiOutput(int port, int openNow);
    ~MidiOutput() override;

    MidiOutput(const MidiOutput&) = delete;
    MidiOutput& operator=(const MidiOutput&) = delete;

    int sendMessage(int status, int data1, int data2);
    int sendControlChange(int channel, int controller, int value);
    // Velocity 0 ends the note; there is no separate note-off sender.
    int sendNoteOn(int channel, int key, int velocity);
    // The same, to leave at `dueMs` (see MidiOutPort::sendShortMessageAt).
    int sendNoteOnAt(int channel, int key, int velocity, std::uint32_t dueMs);
};
