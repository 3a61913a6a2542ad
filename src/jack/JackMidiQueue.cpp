#include "jack/JackMidiQueue.h"

// The ring buffer holds one byte less than its power-of-two size: ask for one
// more than the records need.
JackMidiQueue::JackMidiQueue(std::size_t capacity) : m_ring(jack_ringbuffer_create(capacity * sizeof(Record) + 1))
{
    if (m_ring) {
        m_capacity = jack_ringbuffer_write_space(m_ring) / sizeof(Record);
    }
}

JackMidiQueue::~JackMidiQueue()
{
    if (m_ring) {
        jack_ringbuffer_free(m_ring);
    }
}

bool JackMidiQueue::push(const std::uint8_t* bytes, std::size_t length) noexcept
{
    const std::uint64_t pushed = m_pushed.load(std::memory_order_relaxed);
    if (!valid() || length < 1 || length > 3 || pushed - m_taken.load(std::memory_order_acquire) >= m_capacity) {
        return false;
    }
    Record record{};
    record[0] = static_cast<std::uint8_t>(length);
    std::memcpy(record.data() + 1, bytes, length);
    jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(record.data()), sizeof record);
    m_pushed.store(pushed + 1, std::memory_order_release);
    return true;
}

bool JackMidiQueue::empty() const noexcept
{
    return m_pushed.load(std::memory_order_acquire) == m_taken.load(std::memory_order_acquire);
}
