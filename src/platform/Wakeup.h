#pragma once

#include <chrono>

#ifndef _WIN32
#include <semaphore.h>
#endif

// A wake-up that any thread may give, a realtime one included: post() never
// blocks, locks or allocates. The waiting side sleeps until a post or a
// deadline, whichever comes first, to the scheduler's precision (the
// standard semaphore's timed wait in this toolchain wakes tens of
// milliseconds late; on Windows, to the system timer's, which a timed
// worker sets to 1 ms). Posts add up; each wait takes one.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void post() noexcept;
    void wait();
    // True when woken by a post, false at the deadline.
    bool waitUntil(std::chrono::steady_clock::time_point deadline);

private:
#ifdef _WIN32
    void* m_semaphore = nullptr;  // a Win32 semaphore's handle
#else
    sem_t m_semaphore;
#endif
};
