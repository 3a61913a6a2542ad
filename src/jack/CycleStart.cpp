#include "jack/CycleStart.h"

#include <algorithm>

namespace {

constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;
// Frames counted from one anchor before the grid is counted anew: the frames
// times 1e9 stay inside 64 bits (about a day at 48 kHz).
constexpr std::uint64_t kMostFramesFromAnchor = std::uint64_t{1} << 33;

}  // namespace

std::uint64_t CycleStart::next(std::uint64_t wakeNanos, std::uint32_t frames, std::uint32_t rate) noexcept
{
    const std::uint64_t sinceAnchor = m_framesSinceAnchor + m_lastFrames;
    m_followsGap = false;
    if (rate == 0 || rate != m_rate || sinceAnchor > kMostFramesFromAnchor) {
        restart(wakeNanos, rate);
        m_lastFrames = frames;
        return wakeNanos;
    }
    const std::uint64_t grid = m_anchor + sinceAnchor * kNanosPerSecond / rate;
    const auto offset = static_cast<std::int64_t>(wakeNanos - grid);
    const auto period = static_cast<std::int64_t>(std::uint64_t{m_lastFrames} * kNanosPerSecond / rate);
    const auto gap = static_cast<std::int64_t>(wakeNanos - m_lastWake);
    m_followsGap = gap > period + period / 2;
    if (m_followsGap || offset - m_lowest > period / 2) {
        restart(wakeNanos, rate);
        m_lastFrames = frames;
        return wakeNanos;
    }
    m_framesSinceAnchor = sinceAnchor;
    m_lastFrames = frames;
    m_lastWake = wakeNanos;
    m_newest = (m_newest + 1) % kWindow;
    m_offsets[m_newest] = offset;
    m_held = std::min(m_held + 1, kWindow);
    m_lowest = *std::min_element(m_offsets.begin(), m_offsets.begin() + static_cast<std::ptrdiff_t>(m_held));
    return grid + static_cast<std::uint64_t>(m_lowest);
}

void CycleStart::restart(std::uint64_t wakeNanos, std::uint32_t rate) noexcept
{
    m_anchor = wakeNanos;
    m_framesSinceAnchor = 0;
    m_rate = rate;
    m_lastWake = wakeNanos;
    m_lowest = 0;
    m_offsets[0] = 0;
    m_newest = 0;
    m_held = 1;
}
