#pragma once

#include "midifile/MidiEvent.h"

#include <cstdint>

// The order of MidiFile::compareEvents as one integer per event: the tick
// (made unsigned with its order kept), then a rank at equal ticks: channel
// messages, markers and system-exclusive events (0), then meta events (1),
// then end-of-track (2). Two end-of-track events compare equal here
// (compareEvents ranks each before the other, which no sort can honour).
inline std::uint64_t orderKey(std::int32_t tick, int rank)
{
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(tick) ^ 0x80000000U) << 2) |
           static_cast<std::uint64_t>(rank);
}

inline std::uint64_t orderKey(const MidiEvent& event)
{
    const std::uint8_t* bytes = event.bytes.begin();
    const std::int32_t size = event.bytes.getSize();
    const bool meta = size > 0 && bytes[0] == 0xFF;
    const int rank = meta ? (size > 1 && bytes[1] == 0x2F ? 2 : 1) : 0;
    return orderKey(event.tick, rank);
}
