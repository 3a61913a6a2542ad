#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// What the non-realtime side knows of a realtime callback: how many cycles it
// has completed and whether it is inside one. The callback marks each cycle
// with enterCycle() and leaveCycle(); they never block or allocate.
//
// This is what makes it safe to take something away from the callback: clear
// the pointer it reads (a sequentially consistent store), then
// waitUntilOutside(): once that returns true, no cycle can still hold the old
// pointer, and every later cycle sees the cleared one.
//
// Waits poll every 100 microseconds until their deadline: the callback may not
// take a lock, so it cannot wake a waiting thread.
class ProcessCycles {
public:
    using Clock = std::chrono::steady_clock;

    // Callback side.
    void enterCycle() noexcept { m_epoch.fetch_add(1); }
    void leaveCycle() noexcept { m_epoch.fetch_add(1); }

    // Cycles completed so far.
    std::uint64_t completed() const noexcept { return m_epoch.load() / 2; }

    // True once `count` cycles have completed; false when `deadline` passes
    // or `abandon` becomes true first.
    bool waitForCompleted(std::uint64_t count, Clock::time_point deadline, const std::atomic<bool>& abandon) const;
    // True once no cycle that began before this call is still running; false
    // when one is still running at `deadline`.
    bool waitUntilOutside(Clock::time_point deadline) const;

private:
    // Odd while the callback is inside a cycle; two steps per cycle.
    std::atomic<std::uint64_t> m_epoch{0};
};

// How long a wait for the next few cycles of a callback running every
// `periodFrames` frames at `sampleRate` frames per second may take before the
// server is taken as stalled: four periods, rounded up to whole microseconds,
// plus `margin`. Closing waits up to three (the cycle running, the one that
// takes the last message, the one after it); a server running large periods
// needs the same number of them, not the same time. A period of unknown
// length (either figure 0) counts as one second.
std::chrono::microseconds cycleWaitLimit(std::uint32_t periodFrames, std::uint32_t sampleRate,
                                         std::chrono::microseconds margin) noexcept;
