#pragma once

#include "rig/Rig.h"

#include <array>
#include <cstddef>
#include <cstdint>

// One message for a coil: a note-on of `key`, velocity 0 releasing it.
struct CoilKeyMessage {
    std::int32_t key = 0;
    std::int32_t velocity = 0;
    friend bool operator==(const CoilKeyMessage&, const CoilKeyMessage&) = default;
};

// What one note message becomes for a coil, in sending order: nothing, the
// message, or a stolen key's release followed by the note-on. Fixed size, so
// that the live path allocates nothing.
class CoilKeyMessages {
public:
    void push(CoilKeyMessage message) { m_items[m_count++] = message; }
    const CoilKeyMessage* begin() const { return m_items.data(); }
    const CoilKeyMessage* end() const { return m_items.data() + m_count; }
    std::size_t size() const { return m_count; }

private:
    std::array<CoilKeyMessage, 2> m_items{};
    std::size_t m_count = 0;
};

// How many keys a coil may sound at once, and which give way. A note is a
// (channel, key before transpose); it holds the coil key its note-on sounded
// until its note-off or until that key is stolen.
//  - A note-on of a note already holding its key is a re-strike and passes.
//  - A note-on whose key already sounds for other notes passes and shares it;
//    the key stops with the last of its notes.
//  - Otherwise it passes while fewer than `voices` keys sound. With the coil
//    full, the keep mode picks a sounding key to steal (released at once,
//    just before the new note-on), or drops the new note.
//  - The note-off of a note that holds no key sends nothing: a dropped or
//    stolen note stays silent, even when a voice frees up.
// Pure and allocation-free; one owner calls it.
class VoiceRule {
public:
    // `voices` 1..16.
    VoiceRule(std::int32_t voices, KeepMode keep);

    // A note-on of `velocity` > 0 of the note (channel 0..15, key 0..127) for
    // `coilKey` (0..127).
    void noteOn(std::int32_t channel, std::int32_t key, std::int32_t coilKey, std::int32_t velocity,
                CoilKeyMessages& out);
    void noteOff(std::int32_t channel, std::int32_t key, CoilKeyMessages& out);
    // Every key fell silent some other way (the coil was silenced): no note
    // holds a key from now on, and no later note-off sends anything.
    void silenced();

    std::int32_t keysSounding() const { return m_sounding; }
    std::int64_t dropped() const { return m_dropped; }
    std::int64_t stolen() const { return m_stolen; }

private:
    // The note's key on the coil, valid while the key's generation is the one
    // it was taken in: a steal moves the generation on, freeing every note of
    // the key at once.
    struct Holding {
        std::int16_t coilKey = -1;
        std::uint32_t generation = 0;
    };
    struct KeyState {
        std::int32_t holders = 0;     // notes sounding it; 0 when silent
        std::uint32_t generation = 0;
        std::uint64_t since = 0;      // when it began to sound, in note-ons taken
    };

    Holding& holding(std::int32_t channel, std::int32_t key);
    bool holds(const Holding& note) const;
    // The key to steal for `coilKey` on a full coil, or -1 to drop the note.
    std::int32_t victim(std::int32_t coilKey) const;
    void steal(std::int32_t coilKey, CoilKeyMessages& out);

    std::int32_t m_voices;
    KeepMode m_keep;
    std::array<Holding, 16 * 128> m_notes{};
    std::array<KeyState, 128> m_keys{};
    std::int32_t m_sounding = 0;
    std::uint64_t m_noteOns = 0;
    std::int64_t m_dropped = 0;
    std::int64_t m_stolen = 0;
};
