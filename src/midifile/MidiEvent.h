#pragma once

#include "base/CheckedArray.h"

#include <cstdint>

// One timed MIDI message: the status byte first, then its data bytes. `tick`
// is absolute or delta according to the owning file's tick mode.
struct MidiEvent {
    MidiEvent() { bytes.allowGrowth(true); }
    // The event a default one becomes when `size` bytes from `message` are
    // appended to it and its tick set: made in one step, as the reader does
    // for every channel message.
    MidiEvent(std::int32_t at, const std::uint8_t* message, std::int32_t size) : tick(at)
    {
        bytes.allowGrowth(true);
        bytes.assignAppended(message, size);
    }

    std::int32_t tick = 0;
    // Track the event came from; 0 for every event the reader makes.
    std::int32_t track = 0;
    // Growable, initial capacity 4, growth step 4.
    CheckedArray<std::uint8_t> bytes{CheckedArray<std::uint8_t>::EmptyWithSlots{4}};

    std::int32_t size() const { return bytes.getSize(); }
    // Byte i of the message, or -1 when the message has no byte i: for the
    // classifying helpers below, which must not end the process on odd events.
    // The range is checked here, so the byte is read without a second check.
    int byteOr(std::int32_t i) const { return i >= 0 && i < bytes.getSize() ? bytes.begin()[i] : -1; }

    bool isMeta() const { return byteOr(0) == 0xFF; }
    bool isEndOfTrack() const { return isMeta() && byteOr(1) == 0x2F; }
};
