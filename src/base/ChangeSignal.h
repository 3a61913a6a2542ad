#pragma once

#include "platform/Wakeup.h"

#include <atomic>
#include <chrono>
#include <cstdint>

// The one way a worker sleeps until something it follows has changed. The
// side that changes it (a GUI, a main thread, a device's thread, a realtime
// one included) calls notify() after each change; the worker reads count()
// before it looks at what it follows and then waits with that count, so a
// change made after the look cannot slip by.
//
// notify() never blocks, locks or allocates. One thread waits on a signal at
// a time: the worker that follows it. A wait returns only after a change or
// at its deadline, never early; notifications given while nobody waited only
// cost a later wait as many quick turns.
class ChangeSignal {
public:
    ChangeSignal() = default;
    ChangeSignal(const ChangeSignal&) = delete;
    ChangeSignal& operator=(const ChangeSignal&) = delete;

    // Any thread.
    void notify() noexcept;
    // How many changes there have been; read it before looking.
    std::uint64_t count() const noexcept { return m_count.load(); }
    // Until a change since `seen` was read, or until `deadline`; true when a
    // change came.
    bool waitUntil(std::uint64_t seen, std::chrono::steady_clock::time_point deadline);
    // The same without a deadline.
    void wait(std::uint64_t seen);

private:
    std::atomic<std::uint64_t> m_count{0};
    Wakeup m_wakeup;
};
