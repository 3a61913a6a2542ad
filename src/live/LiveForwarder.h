#pragma once

#include "coilmodel/CoilLimiter.h"
#include "song/PlaybackOptions.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// One short message for the coil, always on channel 0.
using CoilMessage = std::array<std::uint8_t, 3>;
using CoilMessages = std::vector<CoilMessage>;

// Forwards what a MIDI keyboard plays to the coil, as a song is sent: the
// bytes of the input in, the messages for the coil out, at the time given
// (32-bit wrapping milliseconds). No devices and no threads: one owner calls
// it.
//
// From the chosen channel (or every channel) a note-on with a positive
// velocity goes out on channel 0 with the key after the low-note shift and
// the velocity after the curve and then the coil limits; its note-off (0x8n,
// or 0x9n with velocity 0) becomes a note-on of velocity 0 for the key that
// the note-on sounded, whatever the options say by then. A key sounded by two
// input notes stops when the last of them is released. The sustain pedal
// (controller 64, down at 64 and above) holds note-offs until it is
// released; all-sound-off and all-notes-off (controllers 120, 123) become
// all-sound-off, which the sender takes as the place to silence the coil
// (LiveSession sends MidiOutput::silence there). Everything else is dropped. The input is a byte stream:
// running status and messages split across calls are followed, system
// messages end running status, realtime bytes are skipped.
class LiveForwarder {
public:
    static constexpr int kAllChannels = -1;

    // `inputChannel` 0..15, or kAllChannels.
    explicit LiveForwarder(int inputChannel);

    // The input's bytes, arrived at `now`, with the options in force.
    void receive(const std::uint8_t* bytes, std::size_t length, const PlaybackOptions& options, std::uint32_t now,
                 CoilMessages& out);
    // The channel volume (0..127) to send.
    void volume(int value, CoilMessages& out);
    // The cuts of the maximum note length due at `now`.
    void cutsDue(std::uint32_t now, CoilMessages& out);
    // When the next cut falls due, in the clock of `now`; nothing without one.
    std::optional<std::uint32_t> nextCutAt(std::uint32_t now) const { return m_limiter.nextCutAt(now); }
    // All-sound-off, every key and held note forgotten: the way out.
    void silence(CoilMessages& out);

    // The coil model's estimate of what has been sent, 0..1.
    double duty() const { return m_limiter.duty(); }
    // What the coil limits have done to the messages sent so far.
    const CoilLimitCounts& limitCounts() const { return m_limiter.counts(); }

private:
    struct Note {
        std::int8_t sounded = -1;  // the key on the wire, -1 when silent
        bool held = false;         // released while the pedal was down
    };

    void message(const PlaybackOptions& options, std::uint32_t now, CoilMessages& out);
    void noteOn(int channel, int key, int velocity, const PlaybackOptions& options, std::uint32_t now,
                CoilMessages& out);
    void noteOff(int channel, int key, std::uint32_t now, CoilMessages& out);
    void release(Note& note, std::uint32_t now, CoilMessages& out);
    void pedal(int channel, bool down, std::uint32_t now, CoilMessages& out);

    int m_inputChannel;
    // The byte-stream parser: the running status (0 when none) and the data
    // bytes of the message under way.
    std::uint8_t m_status = 0;
    std::array<std::uint8_t, 2> m_data{};
    std::size_t m_dataCount = 0;

    std::array<std::array<Note, 128>, 16> m_notes{};
    // How many input notes sound each key on the wire.
    std::array<int, 128> m_soundedBy{};
    std::array<bool, 16> m_pedalDown{};
    // Notes held by each pedal, in the order they were released.
    std::array<std::vector<std::uint8_t>, 16> m_heldOrder{};
    CoilLimiter m_limiter{CoilLimits{}};
};
