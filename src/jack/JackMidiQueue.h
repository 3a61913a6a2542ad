#pragma once

#include <jack/ringbuffer.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The messages on their way from a sending thread to the JACK process
// callback: a lock-free single-producer, single-consumer queue of short
// messages (1 to 3 bytes) over a JACK ring buffer. One thread at a time pushes;
// the process callback drains. Nothing here blocks or allocates after
// construction.
//
// Two counters of messages written and taken, published after the bytes they
// count, hand each message over: they make the ring buffer's hand-over a
// happens-before relation of the C++ memory model (which ThreadSanitizer
// checks), where the ring buffer itself relies on the hardware's ordering.
class JackMidiQueue {
public:
    // Room for `capacity` messages (rounded up by the ring buffer).
    explicit JackMidiQueue(std::size_t capacity);
    ~JackMidiQueue();

    JackMidiQueue(const JackMidiQueue&) = delete;
    JackMidiQueue& operator=(const JackMidiQueue&) = delete;

    // False when the ring buffer could not be allocated.
    bool valid() const noexcept { return m_ring != nullptr; }
    // Queues `length` (1 to 3) bytes; false when full or the length is not
    // one of a short message.
    bool push(const std::uint8_t* bytes, std::size_t length) noexcept;
    // Nothing left for the process callback.
    bool empty() const noexcept;

    // Process callback side. Hands each queued message, oldest first, to
    // `reserve(length)`, which returns where its bytes go, or null when this
    // cycle has no room left: that message and those after it wait for the
    // next cycle. Returns the number of messages moved.
    template <class Reserve>
    std::size_t drain(Reserve&& reserve) noexcept
    {
        std::uint64_t taken = m_taken.load(std::memory_order_relaxed);
        const std::uint64_t pushed = m_pushed.load(std::memory_order_acquire);
        std::size_t moved = 0;
        Record record;
        while (taken != pushed) {
            jack_ringbuffer_peek(m_ring, reinterpret_cast<char*>(record.data()), sizeof record);
            std::uint8_t* target = reserve(std::size_t{record[0]});
            if (target == nullptr) {
                break;
            }
            std::memcpy(target, record.data() + 1, record[0]);
            jack_ringbuffer_read_advance(m_ring, sizeof record);
            m_taken.store(++taken, std::memory_order_release);
            ++moved;
        }
        return moved;
    }

private:
    // One message: its length, then up to three bytes.
    using Record = std::array<std::uint8_t, 4>;

    jack_ringbuffer_t* m_ring = nullptr;
    std::uint64_t m_capacity = 0;             // whole records the ring holds
    std::atomic<std::uint64_t> m_pushed{0};   // written by the producer only
    std::atomic<std::uint64_t> m_taken{0};    // written by the consumer only
};
