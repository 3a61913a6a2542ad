#pragma once

#include "base/SpscRing.h"
#include "live/LiveForwarder.h"
#include "midiin/MidiInputService.h"
#include "song/PlaybackOptions.h"

#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A note-on that went out live: its key and the coil model's estimate of the
// coil's duty afterwards (0..1).
struct PlayedNote {
    std::uint8_t key = 0;
    double duty = 0.0;
};

// Live input forwarded within the cycle it arrives in, on the realtime thread
// of an input that shares its callback with the coils' devices (JACK's one
// client). Each cycle's events go through the forwarder at the cycle's own
// time (its start and the event's frame), and what it makes is written into
// each coil's port at the event's frame; the cuts of the maximum note length
// fall due within the cycle and go at their own frame. The forwarder's
// all-sound-off goes out as the one silencing: all-sound-off, a note-off for
// every key written on that coil and not released, all-notes-off.
//
// Two threads: the callback runs run(); the owner (the live worker) does the
// rest. run() neither allocates, locks nor calls the system: the room for the
// messages is made here once, and the options reach it as a pointer the owner
// keeps alive (offer). What cannot run there goes back through fixed queues:
// the notes played (takePlayed), the coil that refused a write (refused()).
// Once the callback has let go of it for good (the input closed), the owner
// may read sounding() and use the forwarder again.
class LiveCycle {
public:
    // `targets`: each coil's MidiService::cycleTarget, in rig order.
    LiveCycle(LiveForwarder& forwarder, std::vector<int> targets, std::shared_ptr<const PlaybackOptions> options);

    LiveCycle(const LiveCycle&) = delete;
    LiveCycle& operator=(const LiveCycle&) = delete;

    // The callback's side: one cycle. True when the owner has something to
    // take (a note played, a write refused).
    bool run(MidiInputCycle& cycle) noexcept;

    // The owner's side. Options in force from the next cycle on; those the
    // callback has let go of are released here.
    void offer(std::shared_ptr<const PlaybackOptions> options);
    bool takePlayed(PlayedNote& note) noexcept { return m_played.pop(note); }
    // The first coil whose message could not be written, or -1.
    int refused() const noexcept { return m_refused.load(); }
    // The keys written on `coil` and not released since.
    const std::bitset<128>& sounding(std::size_t coil) const { return m_sounding[coil]; }

private:
    void takeOptions() noexcept;
    // The cuts due up to `untilMs` of notes sounding by `from`, each at the
    // frame of its due time.
    void cutsUntil(MidiInputCycle& cycle, std::uint32_t from, std::uint32_t untilMs) noexcept;
    void write(MidiInputCycle& cycle, std::uint32_t frame) noexcept;
    bool put(MidiInputCycle& cycle, std::size_t coil, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
             std::uint32_t frame) noexcept;

    LiveForwarder& m_forwarder;
    const std::vector<int> m_targets;
    CoilMessages m_out;  // room made once, cleared for each step
    std::vector<std::bitset<128>> m_sounding;

    // The options: the owner keeps every record it offered until the
    // callback gives it back; `m_next` is the newest not yet taken.
    std::vector<std::shared_ptr<const PlaybackOptions>> m_kept;
    std::atomic<const PlaybackOptions*> m_next{nullptr};
    const PlaybackOptions* m_current;  // the callback's
    SpscRing<const PlaybackOptions*, 8> m_retired;

    SpscRing<PlayedNote, 1024> m_played;
    bool m_tell = false;  // the callback's: this cycle has news for the owner
    std::atomic<int> m_refused{-1};
};
