#pragma once

// The standing of a worker thread that sends notes on time, for as long as
// the object lives on that thread: a name that tools see (top -H, the timing
// benchmark) and, on Windows, a raised priority and the system timer at 1 ms,
// without which a wait for the next note could end up to 15.6 ms late.
class TimedWorkerScope {
public:
    // `name`: at most 15 characters.
    explicit TimedWorkerScope(const char* name);
    ~TimedWorkerScope();
    TimedWorkerScope(const TimedWorkerScope&) = delete;
    TimedWorkerScope& operator=(const TimedWorkerScope&) = delete;

private:
    bool m_timerRaised = false;
};

// Puts the calling thread at a realtime priority below the JACK server's own
// (60), so that ordinary threads do not keep it from the next cycle. Where
// that is refused (no rights, or a platform without it) the thread runs as
// it is.
void raiseToRealtimePriority();
