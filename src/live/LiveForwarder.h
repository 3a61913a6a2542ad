#pragma once

#include "coilmodel/CoilLimiter.h"
#include "rig/CoilNotes.h"
#include "rig/Rig.h"
#include "song/PlaybackOptions.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// One short message for a coil of the rig, always on channel 0.
struct CoilMessage {
    std::size_t coil = 0;  // the coil's index in rig order
    std::array<std::uint8_t, 3> bytes{};
    friend bool operator==(const CoilMessage&, const CoilMessage&) = default;
};
using CoilMessages = std::vector<CoilMessage>;

// Forwards what a MIDI keyboard plays to the coils of a rig, as a song is
// sent: the bytes of the input in, the messages for each coil out, at the time
// given (32-bit wrapping milliseconds). No devices and no threads: one owner
// calls it. Allocation-free once built, apart from what `out` takes: a
// caller that reuses one vector with room enough allocates nothing per message.
//
// From the chosen channel (or every channel) a message on channel c goes to
// every coil whose channels hold c (without a rig file, every channel goes to
// the one coil). There a note-on with a positive velocity has its velocity
// curved (the curve may silence it), then goes through the coil's note rule
// (its transpose, the low-note shift in force where the coil does not set its
// own, its voice rule: a full coil may release a stolen key first, or drop
// the note) and then through the coil's own limits, out on channel 0. Its
// note-off (0x8n, or 0x9n with velocity 0) becomes a note-on of velocity 0 for
// the key that the note-on sounded on each coil, whatever the options say by
// then; a note struck again ends first. A key sounded by two input notes
// stops when the last of them is released. The sustain pedal (controller 64,
// down at 64 and above) holds the note-offs of its channel until it is
// released. All-sound-off and all-notes-off (controllers 120, 123) become
// all-sound-off on every coil, which the sender takes as the place to silence
// it (LiveSession sends MidiOutput::silence there). Everything else is
// dropped. The input is a byte stream: running status and messages split
// across calls are followed, system messages end running status, realtime
// bytes are skipped.
class LiveForwarder {
public:
    static constexpr int kAllChannels = -1;

    // Without a rig file: every channel to one coil, with the Options' shift
    // and the limits in force. `inputChannel` 0..15, or kAllChannels.
    explicit LiveForwarder(int inputChannel);
    // The coils of `rig`, each with its own note rule, share and limits.
    LiveForwarder(int inputChannel, const Rig& rig);

    // The input's bytes, arrived at `now`, with the options in force (each
    // coil's limits are its own laid over options.coilLimits).
    void receive(const std::uint8_t* bytes, std::size_t length, const PlaybackOptions& options, std::uint32_t now,
                 CoilMessages& out);
    // The volume slider's value (0..127): each coil its share as channel volume.
    void volume(int value, CoilMessages& out);
    // The cuts of the maximum note length due at `now`, every coil's.
    void cutsDue(std::uint32_t now, CoilMessages& out);
    // When the next cut of any coil falls due, in the clock of `now`; nothing
    // without one.
    std::optional<std::uint32_t> nextCutAt(std::uint32_t now) const;
    // All-sound-off on every coil, every key and held note forgotten: the way out.
    void silence(CoilMessages& out);

    std::size_t coilCount() const { return m_coils.size(); }
    // The coil model's estimate of what has been sent to `coil`, 0..1.
    double duty(std::size_t coil) const { return m_coils[coil].limiter.duty(); }
    // What the coil limits have done to the messages sent so far, all coils together.
    CoilLimitCounts limitCounts() const;

private:
    // What one coil has been sent, and the rules on the way there.
    struct CoilLane {
        explicit CoilLane(const Coil& coil);

        Coil coil;
        CoilNoteRule rule;
        CoilLimiter limiter{CoilLimits{}};
        // The key each input note sounds on this coil, -1 when silent.
        std::array<std::array<std::int8_t, 128>, 16> sounded;
        // How many input notes sound each key.
        std::array<int, 128> soundedBy{};
    };
    // The input notes released while the pedal of their channel was down, in
    // the order they were released, each key once.
    struct HeldNotes {
        std::array<std::uint8_t, 128> order{};
        std::size_t count = 0;
        std::array<bool, 128> listed{};
    };

    void message(const PlaybackOptions& options, std::uint32_t now, CoilMessages& out);
    void noteOn(int channel, int key, int velocity, const PlaybackOptions& options, std::uint32_t now,
                CoilMessages& out);
    void sound(std::size_t coil, int channel, int key, CoilKeyMessage message, std::uint32_t now, CoilMessages& out);
    void noteOff(int channel, int key, std::uint32_t now, CoilMessages& out);
    // The input note's end on every coil of its channel.
    void release(int channel, int key, std::uint32_t now, CoilMessages& out);
    void release(std::size_t coil, int channel, int key, std::uint32_t now, CoilMessages& out);
    // `key` on `coil` went silent: the input notes that sounded it are over.
    void forget(CoilLane& lane, int key);
    void pedal(int channel, bool down, std::uint32_t now, CoilMessages& out);

    int m_inputChannel;
    // The byte-stream parser: the running status (0 when none) and the data
    // bytes of the message under way.
    std::uint8_t m_status = 0;
    std::array<std::uint8_t, 2> m_data{};
    std::size_t m_dataCount = 0;

    std::vector<CoilLane> m_coils;
    ChannelRoutes m_routes;
    // Each input note between its note-on and its end (its note-off, or the
    // pedal's release after it), and whether the pedal holds it.
    std::array<std::array<bool, 128>, 16> m_down{};
    std::array<std::array<bool, 128>, 16> m_held{};
    std::array<bool, 16> m_pedalDown{};
    std::array<HeldNotes, 16> m_heldNotes{};
};
