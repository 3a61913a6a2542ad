#include "platform/Wakeup.h"

#include <cerrno>
#include <ctime>

// The steady clock is CLOCK_MONOTONIC here: its time points are the wait's.
Wakeup::Wakeup()
{
    sem_init(&m_semaphore, 0, 0);
}

Wakeup::~Wakeup()
{
    sem_destroy(&m_semaphore);
}

void Wakeup::post() noexcept
{
    sem_post(&m_semaphore);
}

void Wakeup::wait()
{
    while (sem_wait(&m_semaphore) != 0 && errno == EINTR) {
    }
}

bool Wakeup::waitUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto since = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    timespec at{};
    at.tv_sec = static_cast<time_t>(seconds.count());
    at.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    int result = 0;
    while ((result = sem_clockwait(&m_semaphore, CLOCK_MONOTONIC, &at)) != 0 && errno == EINTR) {
    }
    return result == 0;
}
