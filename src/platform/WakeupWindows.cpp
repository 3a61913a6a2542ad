#include "platform/Wakeup.h"

#include <windows.h>

#include <algorithm>
#include <climits>

Wakeup::Wakeup() : m_semaphore(CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr))
{
}

Wakeup::~Wakeup()
{
    CloseHandle(m_semaphore);
}

void Wakeup::post() noexcept
{
    ReleaseSemaphore(m_semaphore, 1, nullptr);
}

void Wakeup::wait()
{
    WaitForSingleObject(m_semaphore, INFINITE);
}

bool Wakeup::waitUntil(std::chrono::steady_clock::time_point deadline)
{
    // Whole milliseconds, rounded up: the timer may still end a wait a
    // little early, and then the rest is waited for.
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const DWORD timeout = left.count() <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left.count(), INFINITE - 1));
        if (WaitForSingleObject(m_semaphore, timeout) == WAIT_OBJECT_0) {
            return true;
        }
        if (timeout == 0) {
            return false;
        }
    }
}
