#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// A lock-free queue of at most N plain values from one thread to one other,
// fixed in size: neither side allocates, locks or waits, so either may be a
// realtime thread. The counters publish each value after it is written and
// free its place after it is read (a happens-before relation either way).
template <class T, std::size_t N>
class SpscRing {
    static_assert(std::is_trivially_copyable_v<T> && N > 0);

public:
    // Producer side: false, with nothing queued, when full.
    bool push(const T& value) noexcept
    {
        const std::uint64_t written = m_written.load(std::memory_order_relaxed);
        if (written - m_read.load(std::memory_order_acquire) == N) {
            return false;
        }
        m_items[written % N] = value;
        m_written.store(written + 1, std::memory_order_release);
        return true;
    }
    bool full() const noexcept
    {
        return m_written.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire) == N;
    }

    // Consumer side: false when empty.
    bool pop(T& value) noexcept
    {
        const std::uint64_t read = m_read.load(std::memory_order_relaxed);
        if (read == m_written.load(std::memory_order_acquire)) {
            return false;
        }
        value = m_items[read % N];
        m_read.store(read + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<T, N> m_items{};
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<std::uint64_t> m_read{0};
};
