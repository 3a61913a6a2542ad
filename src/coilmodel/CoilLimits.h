#pragma once

#include <cstdint>
#include <optional>

// What the coil can take, each limit off unless set. The limits belong to the
// coil rather than to one run: the limits file keeps them, and every program
// reads it. Applied to every message that leaves for the coil; with none set,
// the bytes sent are exactly those the song (or fixed mode) asks for, and a
// set limit only ever lowers a velocity, drops a note-on or adds a note-off.
struct CoilLimits {
    // The highest estimated duty of the coil after a note-on, in percent
    // (above 0, at most 100), every key counted.
    std::optional<double> dutyLimitPercent;
    // The longest a key may sound without a note-off, in milliseconds (above 0).
    std::optional<std::int32_t> maxNoteMs;
    // Note-ons of keys outside lowestKey..highestKey (each 0..127) are not sent.
    std::optional<std::int32_t> lowestKey;
    std::optional<std::int32_t> highestKey;

    bool any() const { return dutyLimitPercent || maxNoteMs || lowestKey || highestKey; }
    friend bool operator==(const CoilLimits&, const CoilLimits&) = default;
};

// `base` with each limit that `over` sets taken from `over` instead.
inline CoilLimits limitsLaidOver(CoilLimits base, const CoilLimits& over)
{
    base.dutyLimitPercent = over.dutyLimitPercent ? over.dutyLimitPercent : base.dutyLimitPercent;
    base.maxNoteMs = over.maxNoteMs ? over.maxNoteMs : base.maxNoteMs;
    base.lowestKey = over.lowestKey ? over.lowestKey : base.lowestKey;
    base.highestKey = over.highestKey ? over.highestKey : base.highestKey;
    return base;
}
