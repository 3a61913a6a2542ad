#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// When each process cycle began, from the times its callback woke up (one
// steady clock, nanoseconds), for placing timed messages at their frames.
//
// A callback wakes some time after its cycle's frames began: the server's
// own wake-up, and every client before it in the graph, come first, and each
// of them wakes late now and then. Frames come at a steady rate, so the
// cycles' starts lie on a grid: the frames counted since an anchor, at the
// rate. The estimate is that grid moved to the earliest wake-up, relative to
// it, of the last 16 cycles: a cycle that wakes late costs nothing (its
// messages still go at their own frames), a clock that drifts is followed
// within those cycles, and a cycle that wakes earlier than any moves the
// grid at once. The wake-up itself is taken instead, and the grid counted
// anew from it, when the grid cannot be trusted: in the first cycle, when the
// rate changes, after a gap of more than one and a half periods between
// wake-ups (the server missed cycles: an xrun, after which it may run on a
// new grid) and when a cycle wakes more than half a period late. So a stall
// costs only the cycles it spans, as it would a plain sender; no filter has
// to settle after it.
//
// The estimate is never after the wake-up and never before the previous
// cycle's. One instance per callback; no allocation, no lock, no system call.
class CycleStart {
public:
    // The cycle whose callback woke at `wakeNanos`, `frames` long at `rate`
    // frames a second (0 when not known yet): when its first frame was due.
    std::uint64_t next(std::uint64_t wakeNanos, std::uint32_t frames, std::uint32_t rate) noexcept;
    // Whether the latest cycle woke more than one and a half periods after
    // the one before it: the server missed cycles just before it.
    bool followsGap() const noexcept { return m_followsGap; }

private:
    static constexpr std::size_t kWindow = 16;

    void restart(std::uint64_t wakeNanos, std::uint32_t rate) noexcept;

    std::uint64_t m_anchor = 0;  // the wake-up the grid is counted from
    std::uint64_t m_framesSinceAnchor = 0;
    std::uint32_t m_rate = 0;
    std::uint32_t m_lastFrames = 0;
    std::uint64_t m_lastWake = 0;
    std::int64_t m_lowest = 0;  // the lowest offset in the window, as of the last cycle
    // Each cycle's wake-up less its place on the grid (ns), the newest at m_newest.
    std::array<std::int64_t, kWindow> m_offsets{};
    std::size_t m_held = 0;
    std::size_t m_newest = 0;
    bool m_followsGap = false;
};
