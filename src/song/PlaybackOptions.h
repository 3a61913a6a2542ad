#pragma once

#include "coilmodel/CoilLimits.h"

#include <array>
#include <cstdint>
#include <string>

// The settings that note-list extraction and playback read. Written on the GUI
// thread by the Options dialog and published whole through AppState. A
// playback thread extracts its notes with the record in force when it
// starts, and takes the record in force afresh for every note it sends, so a
// velocity curve changed during a song applies from the next note.
struct PlaybackOptions {
    // Channel whose notes are extracted, compared with the low four bits of a
    // status byte (0 is the first MIDI channel). Taken as typed: other values
    // match no channel.
    std::int32_t playChannel = 0;
    // When set, keys at or below lowerLimit are raised by 8 semitones.
    std::int32_t shiftLowNotes = 0;
    std::int32_t lowerLimit = 50;
    // The velocity curve is used only when both flags are set.
    std::int32_t customCurve = 0;
    std::int32_t curveLoaded = 0;
    // Entry v is the velocity sent for a note-on of velocity v (v > 0), taken
    // as a signed 8-bit value. Entries no file has supplied are the identity.
    std::array<std::int8_t, 128> velocityCurve = kIdentityCurve;
    std::string curveFileName;
    // The coil's limits in force (none by default).
    CoilLimits coilLimits;
    // The song's speed, kSlowestSpeed..kFastestSpeed percent: every note time
    // after the lead-in is scaled by 100 / speedPercent (scaledTimeMs).
    std::int32_t speedPercent = 100;

    static constexpr std::array<std::int8_t, 128> identityCurve()
    {
        std::array<std::int8_t, 128> curve{};
        for (int i = 0; i < 128; ++i) {
            curve[static_cast<std::size_t>(i)] = static_cast<std::int8_t>(i);
        }
        return curve;
    }

private:
    // Made once at compile time: a new record copies it instead of running
    // the loop above.
    static const std::array<std::int8_t, 128> kIdentityCurve;
};

inline constexpr std::array<std::int8_t, 128> PlaybackOptions::kIdentityCurve = PlaybackOptions::identityCurve();
