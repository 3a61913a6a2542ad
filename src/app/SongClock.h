#pragma once

#include <cstdint>

// Where the song being played is between the worker's reports of its time:
// the song's clock runs on from the last reported time at the pace of the
// GUI's own monotonic clock, and stands still while paused. It feeds the
// playhead of the analysis windows, which moves several times a second while
// the worker reports once a second. Times in milliseconds; `nowMs` is any
// monotonic clock, the same for every call. GUI thread only.
class SongClock {
public:
    // A song of `totalMs` has started: its clock reads 0 at `nowMs`.
    void start(int totalMs, std::int64_t nowMs);
    // The worker reported the song's time.
    void report(int elapsedMs, std::int64_t nowMs);
    // Pause stops the clock where it is; Play lets it run on from there.
    void setPaused(bool paused, std::int64_t nowMs);
    // The song's speed changed: it is `totalMs` long now.
    void setTotal(int totalMs) { m_totalMs = totalMs; }
    // No song is under way.
    void stop() { m_running = false; }

    bool running() const { return m_running; }
    bool paused() const { return m_paused; }
    int totalMs() const { return m_totalMs; }
    // The last time the worker reported.
    int reportedMs() const { return m_reportedMs; }
    // The song's time at `nowMs`, from 0 to its length.
    int at(std::int64_t nowMs) const;

private:
    bool m_running = false;
    bool m_paused = false;
    int m_totalMs = 0;
    int m_reportedMs = 0;
    // The clock read m_baseMs at m_baseAt (and still does while paused).
    int m_baseMs = 0;
    std::int64_t m_baseAt = 0;
};
