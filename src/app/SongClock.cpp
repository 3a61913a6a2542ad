#include "app/SongClock.h"

#include <algorithm>

void SongClock::start(int totalMs, std::int64_t nowMs)
{
    m_running = true;
    m_paused = false;
    m_totalMs = std::max(totalMs, 0);
    m_reportedMs = 0;
    m_baseMs = 0;
    m_baseAt = nowMs;
}

void SongClock::report(int elapsedMs, std::int64_t nowMs)
{
    m_reportedMs = elapsedMs;
    m_baseMs = elapsedMs;
    m_baseAt = nowMs;
}

void SongClock::setPaused(bool paused, std::int64_t nowMs)
{
    if (paused == m_paused) {
        return;
    }
    m_baseMs = at(nowMs);
    m_baseAt = nowMs;
    m_paused = paused;
}

int SongClock::at(std::int64_t nowMs) const
{
    if (m_paused) {
        return std::clamp(m_baseMs, 0, m_totalMs);
    }
    const std::int64_t elapsed = m_baseMs + std::max<std::int64_t>(nowMs - m_baseAt, 0);
    return static_cast<int>(std::clamp<std::int64_t>(elapsed, 0, m_totalMs));
}
