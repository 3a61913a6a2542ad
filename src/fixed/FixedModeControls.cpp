#include "fixed/FixedModeControls.h"

void FixedModeControls::setRunning(bool running)
{
    m_running.store(running);
    m_changes.notify();
}

void FixedModeControls::setFrequencyPosition(int key)
{
    m_frequency.store(key);
    m_changes.notify();
}

void FixedModeControls::setPowerPosition(int power)
{
    m_power.store(power);
    m_changes.notify();
}

void FixedModeControls::requestAgain()
{
    m_again.fetch_add(1);
    m_changes.notify();
}
