#include "jack/JackScheduleQueue.h"

std::optional<std::uint32_t> frameInCycle(std::uint64_t due, std::uint64_t cycleStart, std::uint32_t frames,
                                          std::uint32_t rate) noexcept
{
    constexpr std::uint64_t kMicrosPerSecond = 1'000'000;
    if (due <= cycleStart) {
        return 0U;
    }
    if (rate == 0) {
        return std::nullopt;
    }
    // A message `ahead` of the start falls in the cycle when ahead * rate <
    // frames * 1e6, that is when ahead is below the cycle's length rounded up
    // to whole microseconds. Below it, the product stays inside 64 bits.
    const std::uint64_t ahead = due - cycleStart;
    const std::uint64_t length = (std::uint64_t{frames} * kMicrosPerSecond + rate - 1) / rate;
    if (ahead >= length) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(ahead * rate / kMicrosPerSecond);
}

// The ring buffer holds one byte less than its power-of-two size: ask for one
// more than the records need.
JackScheduleQueue::JackScheduleQueue(std::size_t capacity)
    : m_ring(jack_ringbuffer_create(capacity * sizeof(Record) + 1))
{
    if (m_ring) {
        m_capacity = jack_ringbuffer_write_space(m_ring) / sizeof(Record);
    }
}

JackScheduleQueue::~JackScheduleQueue()
{
    if (m_ring) {
        jack_ringbuffer_free(m_ring);
    }
}

bool JackScheduleQueue::push(const std::uint8_t* bytes, std::size_t length, std::uint64_t due) noexcept
{
    const std::uint64_t pushed = m_pushed.load(std::memory_order_relaxed);
    if (!valid() || length < 1 || length > 3 || pushed - m_taken.load(std::memory_order_acquire) >= m_capacity) {
        return false;
    }
    Record record{};
    record[0] = static_cast<std::uint8_t>(length);
    std::memcpy(record.data() + 1, bytes, length);
    std::memcpy(record.data() + kDueOffset, &due, sizeof due);
    jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(record.data()), sizeof record);
    m_pushed.store(pushed + 1, std::memory_order_release);
    return true;
}

std::size_t JackScheduleQueue::takeBack() noexcept
{
    // The callback claims only what it has seen pushed, so the claim never
    // lies beyond `pushed`.
    const std::uint64_t pushed = m_pushed.load(std::memory_order_relaxed);
    return static_cast<std::size_t>(pushed - m_claim.exchange(pushed));
}

bool JackScheduleQueue::empty() const noexcept
{
    return m_pushed.load(std::memory_order_acquire) == m_taken.load(std::memory_order_acquire);
}
