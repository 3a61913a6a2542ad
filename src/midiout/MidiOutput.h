#pragma once

#include "midiout/MidiOutPort.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <deque>

// The object through which the program talks to the coil controller: a port
// with channel-message senders. Channels are 0-15 (cut to 4 bits), data bytes
// are cut to 7 bits. Senders return 0 when the message was handed to the
// device, 2 without a port, otherwise the platform's code.
//
// It follows which keys its own note messages left sounding on each channel
// (a note-on that the device took, until a note-off for the key was taken),
// so that silence() can release each of them: a controller that honours only
// note-offs goes quiet too. Messages handed ahead (sendNoteOnAt) count as
// sent until takeBack() takes them back.
class MidiOutput : public MidiOutPort {
public:
    // Port 0 (none without a device), not opened.
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
    // Takes back what was handed ahead and has not left, as
    // MidiOutPort::takeBack, and forgets that it was sent.
    int takeBack();

    // The one silencing of every way out of playback, fixed mode and live
    // mode: on `channel`, all-sound-off, then a note-off (a note-on of
    // velocity 0) for every key this object left sounding there, in key
    // order, then all-notes-off. Each message is tried even after one was
    // refused; the first refusal's code is returned, 0 when all were sent.
    // Take back what was handed ahead first, so that nothing follows it.
    int silence(int channel);
    // A note message that reached the device another way (written into its
    // port within a realtime input's cycle), followed as if sent here, so
    // that silence() releases its key too.
    void followSent(int status, int key, int velocity) { noteSent(status, key, velocity, nullptr); }

private:
    // Follows a note message that the device took; `dueMs` for one handed ahead.
    void noteSent(int status, int key, int velocity, const std::uint32_t* dueMs);

    std::array<std::bitset<128>, 16> m_sounding;
    // The note messages handed ahead that may not have left yet, oldest
    // first, with what their key was before: undone when taken back.
    struct Handed {
        std::uint32_t dueMs;
        std::uint8_t channel;
        std::uint8_t key;
        bool wasSounding;
    };
    std::deque<Handed> m_handed;
};
