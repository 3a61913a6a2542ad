#include "coilmodel/CoilModel.h"

#include <cmath>

double keyFrequency(std::int32_t key)
{
    const double semitone = std::pow(2.0, 1.0 / 12.0);
    return 220.0 * std::pow(semitone, static_cast<double>(key - 57));
}

double noteDuty(std::int32_t key, std::int32_t velocity)
{
    if (key == 0 && velocity == 0) {
        return 0.0;
    }
    const double period = 1000000.0 / keyFrequency(key);
    double onTime = period / 16.0;
    if (onTime > 100.0) {
        onTime = 100.0;
    }
    return (static_cast<double>(velocity) / 128.0) * onTime / period;
}

void TwoVoiceTracker::noteOn(std::int32_t key, std::int32_t velocity)
{
    if (!m_keys.admits(key)) {
        return;
    }
    const Voice note{key, velocity};
    if (m_first.silent() && m_second.silent()) {
        m_first = note;
    } else if (m_second.silent()) {
        m_second = note;
    } else {
        // Both busy, or only the newer: the note held longest is dropped.
        m_first = m_second;
        m_second = note;
    }
}

void TwoVoiceTracker::noteOff(std::int32_t key)
{
    if (m_first.holds(key)) {
        m_first = Voice{};
    } else if (m_second.holds(key)) {
        m_second = Voice{};
    }
}

double TwoVoiceTracker::dutyAfter(std::int32_t key, std::int32_t velocity) const
{
    TwoVoiceTracker after = *this;
    after.noteOn(key, velocity);
    return after.duty();
}
