#include "base/ChangeSignal.h"

void ChangeSignal::notify() noexcept
{
    // The count first: a woken worker must find the change it was woken for.
    m_count.fetch_add(1);
    m_wakeup.post();
}

bool ChangeSignal::waitUntil(std::uint64_t seen, std::chrono::steady_clock::time_point deadline)
{
    // Each post stands for one notify; posts of changes the worker has seen
    // already are taken here without returning.
    while (count() == seen) {
        if (!m_wakeup.waitUntil(deadline)) {
            return count() != seen;
        }
    }
    return true;
}

void ChangeSignal::wait(std::uint64_t seen)
{
    while (count() == seen) {
        m_wakeup.wait();
    }
}
