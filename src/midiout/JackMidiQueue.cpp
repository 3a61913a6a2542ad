#include "midiout/JackMidiQueue.h"

JackMidiQueue::JackMidiQueue(std::size_t capacity) : m_ring(jack_ringbuffer_create(capacity * sizeof(Record))) {}

JackMidiQueue::~JackMidiQueue()
{
    if (m_ring) {
        jack_ringbuffer_free(m_ring);
    }
}

bool JackMidiQueue::push(const std::uint8_t* bytes, std::size_t length) noexcept
{
    if (!valid() || length < 1 || length > 3 || jack_ringbuffer_write_space(m_ring) < sizeof(Record)) {
        return false;
    }
    Record record{};
    record[0] = static_cast<std::uint8_t>(length);
    std::memcpy(record.data() + 1, bytes, length);
    jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(record.data()), sizeof record);
    return true;
}

bool JackMidiQueue::empty() const noexcept
{
    return !valid() || jack_ringbuffer_read_space(m_ring) == 0;
}
