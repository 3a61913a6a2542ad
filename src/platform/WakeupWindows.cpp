#include "platform/Wakeup.h"

Wakeup::Wakeup() = default;
Wakeup::~Wakeup() = default;

void Wakeup::post() noexcept
{
    m_semaphore.release();
}

void Wakeup::wait()
{
    m_semaphore.acquire();
}

bool Wakeup::waitUntil(std::chrono::steady_clock::time_point deadline)
{
    return m_semaphore.try_acquire_until(deadline);
}
