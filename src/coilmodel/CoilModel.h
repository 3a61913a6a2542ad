#pragma once

#include <cstdint>
#include <limits>
#include <string>

// The one model of the coil's duty cycle: what one sounding note costs, and
// which notes sound when the coil can play two at a time. The Duty Cycle
// window, the simulator and the coil limits all count with it; they differ
// only in the keys they let take a voice.

// The equal-tempered pitch of `key` in hertz, key 57 being 220 Hz:
// 220 x (2^(1/12))^(key - 57), the semitone ratio formed first, with the
// same bits on every platform.
double keyFrequency(std::int32_t key);

// The name of `key` (0..127) with its octave, key 60 being "C4" ("C#4" for
// 61, "A4" for 69, the 440 Hz key).
std::string keyName(std::int32_t key);

// Estimated duty cycle (a fraction) of one sounding note on the coil: a pulse
// of min(period / 16, 100 us) x velocity / 128 per period of the key's
// frequency (key 57 is 220 Hz). 0 for a silent voice (key 0, velocity 0).
double noteDuty(std::int32_t key, std::int32_t velocity);

// The keys whose note-ons take a voice; note-offs of any key are followed.
struct KeyFilter {
    std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    std::int32_t highest = std::numeric_limits<std::int32_t>::max();

    bool admits(std::int32_t key) const { return key >= lowest && key <= highest; }
};
// The Duty Cycle window counts keys 36..93 only.
inline constexpr KeyFilter kDutyWindowKeys{36, 93};
// The coil limits, the simulator and render count every key.
inline constexpr KeyFilter kEveryKey{};

// Two voices: a new note takes a free voice; with both busy the note held
// longest is dropped; a note-off silences the first voice holding its key,
// the older voice tested first.
class TwoVoiceTracker {
public:
    struct Voice {
        std::int32_t key = 0;
        std::int32_t velocity = 0;

        bool silent() const { return key == 0 && velocity == 0; }
        bool holds(std::int32_t k) const { return !silent() && key == k; }
        double duty() const { return noteDuty(key, velocity); }
    };

    explicit TwoVoiceTracker(KeyFilter keys) : m_keys(keys) {}

    // A note-on of a non-zero velocity; keys the filter refuses change nothing.
    void noteOn(std::int32_t key, std::int32_t velocity);
    void noteOff(std::int32_t key);
    void silence() { m_first = m_second = Voice{}; }

    // The sum of the two voices' duty.
    double duty() const { return m_first.duty() + m_second.duty(); }
    // The duty the voices would have after noteOn(key, velocity), which is
    // not taken.
    double dutyAfter(std::int32_t key, std::int32_t velocity) const;

    const Voice& older() const { return m_first; }
    const Voice& newer() const { return m_second; }

private:
    KeyFilter m_keys;
    Voice m_first;   // the older note
    Voice m_second;
};
