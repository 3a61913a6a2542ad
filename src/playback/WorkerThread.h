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
