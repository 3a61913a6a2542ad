#include "fixed/FixedModeControls.h"

void FixedModeControls::setRunning(bool running)
{
    m_running.store(running);
    notifyChange();
}

void FixedModeControls::setFrequencyPosition(int key)
{
    m_frequency.store(key);
    notifyChange();
}

void FixedModeControls::setPowerPosition(int power)
{
    m_power.store(power);
    notifyChange();
}

std::uint64_t FixedModeControls::changeCount() const
{
    std::lock_guard lock(m_mutex);
    return m_changeCount;
}

void FixedModeControls::waitForChange(std::uint64_t seen)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_changeCount != seen; });
}

void FixedModeControls::waitForChange(std::uint64_t seen, std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_until(lock, deadline, [&] { return m_changeCount != seen; });
}

void FixedModeControls::notifyChange()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_changeCount;
    }
    m_changed.notify_all();
}
