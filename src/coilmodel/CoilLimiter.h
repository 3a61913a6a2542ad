#pragma once

#include "coilmodel/CoilLimits.h"
#include "coilmodel/CoilModel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// What the limits did to the messages of one song.
struct CoilLimitCounts {
    std::int64_t softened = 0;  // note-ons sent with a lower velocity
    std::int64_t dropped = 0;   // note-ons not sent
    std::int64_t cut = 0;       // note-offs added at the maximum note length

    bool any() const { return softened != 0 || dropped != 0 || cut != 0; }
    friend bool operator==(const CoilLimitCounts&, const CoilLimitCounts&) = default;
};

// "Coil limits: 14 notes softened, 2 dropped, 1 cut".
std::string coilLimitsText(const CoilLimitCounts& counts);

// The filter every message for the coil passes on its way out, a function of
// the time it leaves (32-bit wrapping milliseconds, compared by difference).
// It follows what was sent in the coil model, every key counted, so the
// estimate is of the coil, not of the song. With no limit set it changes
// nothing; a limit only lowers a velocity, drops a note-on or adds a note-off.
// Not thread-safe: one sender owns it.
class CoilLimiter {
public:
    explicit CoilLimiter(const CoilLimits& limits) : m_limits(limits) {}

    // Limits changed mid-song apply from the next message.
    void setLimits(const CoilLimits& limits) { m_limits = limits; }
    const CoilLimits& limits() const { return m_limits; }
    // Whether the key range lets `key` sound.
    bool admits(int key) const;

    // A note-on of `velocity` as it would be sent after the curve (0 is a
    // note-off, which always passes) leaving at `now`: the velocity to send,
    // or nothing when the note-on must not go out. A key outside the range is
    // dropped; over the duty limit the highest velocity from 1 up to the
    // controller's reading of `velocity` (its low seven bits) that keeps the
    // estimate at or under the limit is taken, and the note dropped when not
    // even 1 does.
    std::optional<int> noteOn(int key, int velocity, std::uint32_t now);
    // A control change leaving: all-sound-off and all-notes-off silence every
    // key, so no cut follows them.
    void controlChange(int controller);
    // Everything went silent some other way (a reset, a closed device).
    void silenced();

    // With a maximum note length, the key that has sounded that long at `now`
    // without a note-off: its cut (a note-on of velocity 0) is to be sent now,
    // and is counted and forgotten here. One key per call.
    std::optional<int> takeDueCut(std::uint32_t now);
    // When the next cut falls due, in the clock of `now` (`now` itself when one
    // is overdue); nothing without a maximum note length or a sounding key.
    std::optional<std::uint32_t> nextCutAt(std::uint32_t now) const;

    const CoilLimitCounts& counts() const { return m_counts; }
    // Messages taken back before they left: their counts are forgotten.
    void restoreCounts(const CoilLimitCounts& counts) { m_counts = counts; }
    // The coil model's estimate of what has been sent.
    double duty() const { return m_model.duty(); }

private:
    std::optional<std::uint32_t> sinceSounding(std::size_t key, std::uint32_t now) const;

    CoilLimits m_limits;
    TwoVoiceTracker m_model{kEveryKey};
    // When each key (as the controller reads it) last began sounding.
    std::array<std::optional<std::uint32_t>, 128> m_soundingSince{};
    CoilLimitCounts m_counts;
};
