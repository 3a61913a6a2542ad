#pragma once

#include <jack/ringbuffer.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

// Where a message due at `due` falls in a process cycle of `frames` frames
// at `rate` frames a second whose first frame was due at `cycleStart`
// (microseconds of one clock): frame 0 for a message already due, the frame
// of its due time within the cycle's length of the start, nothing for one due
// in a later cycle (or at an unknown rate, 0).
//
// The start is not JACK's start of the cycle (jack_get_cycle_times): that
// is a filtered estimate, and a server that stalls (an xrun) goes on without
// counting the frames it missed, so after a stall the estimate trails the
// real time by as much as the stall and takes a second or more to come back,
// overshooting: messages placed by it arrived up to the stall late, then
// early. It is CycleStart's, from the callback's own wake-ups, which needs no
// filter to settle: a stall costs only the cycles it spans (what fell due
// during it goes at frame 0 of the cycle after the late one, as a plain
// sender's message would: see JackMidiService's process callback).
std::optional<std::uint32_t> frameInCycle(std::uint64_t due, std::uint64_t cycleStart, std::uint32_t frames,
                                          std::uint32_t rate) noexcept;

// The messages handed ahead of their time from a sending thread to the JACK
// process callback: a lock-free single-producer, single-consumer queue of
// short messages (1 to 3 bytes), each with its due time, over a JACK ring
// buffer. The callback takes a message in the cycle it falls due in; the
// producer can take back every message the callback has not taken yet, and
// learns exactly how many that was. Nothing here blocks or allocates after
// construction.
//
// The hand-over is JackMidiQueue's (counters published after the bytes they
// count). A third counter, the claim, is the first message neither side has
// claimed: the callback claims one message at a time by compare-and-swap
// before it writes it, the producer claims everything pushed in one exchange
// when it takes back. Whichever claims a message decides its fate, so a
// message is either written or counted as taken back, never both.
class JackScheduleQueue {
public:
    // Room for `capacity` messages (rounded up by the ring buffer).
    explicit JackScheduleQueue(std::size_t capacity);
    ~JackScheduleQueue();

    JackScheduleQueue(const JackScheduleQueue&) = delete;
    JackScheduleQueue& operator=(const JackScheduleQueue&) = delete;

    bool valid() const noexcept { return m_ring != nullptr; }
    // Queues `length` (1 to 3) bytes due at `due`; false when full or the
    // length is not one of a short message. Messages leave in the order they
    // were pushed: one due earlier than the message before it waits for it.
    bool push(const std::uint8_t* bytes, std::size_t length, std::uint64_t due) noexcept;
    // Producer side: takes back every message the callback has not taken;
    // returns how many (the last ones pushed).
    std::size_t takeBack() noexcept;
    // Nothing left for the process callback.
    bool empty() const noexcept;

    // Process callback side. For each queued message, oldest first,
    // `sink.frameOf(due)` gives the frame it goes at in this cycle, or nothing
    // when it is due later; `sink.room(length)` says whether the cycle's
    // buffer still holds it; `sink.reserve(length, frame)` returns where its
    // bytes go. A message due later or without room waits for the next cycle,
    // and those after it with it. Returns the number of messages written.
    template <class Sink>
    std::size_t drain(Sink& sink) noexcept
    {
        std::uint64_t taken = m_taken.load(std::memory_order_relaxed);
        const std::uint64_t pushed = m_pushed.load(std::memory_order_acquire);
        std::size_t written = 0;
        Record record;
        while (taken != pushed) {
            jack_ringbuffer_peek(m_ring, reinterpret_cast<char*>(record.data()), sizeof record);
            std::uint64_t claim = taken;
            if (m_claim.load() == taken) {
                std::uint64_t due = 0;
                std::memcpy(&due, record.data() + kDueOffset, sizeof due);
                const std::optional<std::uint32_t> frame = sink.frameOf(due);
                if (!frame || !sink.room(std::size_t{record[0]})) {
                    break;
                }
                // Fails when the producer has taken the message back meanwhile.
                if (m_claim.compare_exchange_strong(claim, taken + 1)) {
                    if (std::uint8_t* target = sink.reserve(std::size_t{record[0]}, *frame)) {
                        std::memcpy(target, record.data() + 1, record[0]);
                        ++written;
                    }
                }
            }
            jack_ringbuffer_read_advance(m_ring, sizeof record);
            m_taken.store(++taken, std::memory_order_release);
        }
        return written;
    }

private:
    // One message: its length, up to three bytes, padding, the due time.
    static constexpr std::size_t kDueOffset = 8;
    using Record = std::array<std::uint8_t, 16>;

    jack_ringbuffer_t* m_ring = nullptr;
    std::uint64_t m_capacity = 0;             // whole records the ring holds
    std::atomic<std::uint64_t> m_pushed{0};   // written by the producer only
    std::atomic<std::uint64_t> m_taken{0};    // written by the consumer only
    std::atomic<std::uint64_t> m_claim{0};    // see the class comment
};
