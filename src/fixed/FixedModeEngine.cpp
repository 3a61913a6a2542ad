#include "fixed/FixedModeEngine.h"

#include "fixed/FixedTone.h"
#include "midiout/ShortMessage.h"

#include <cstdio>

FixedModeEngine::FixedModeEngine(FixedModeSink& sink, const CoilLimits& limits) : m_sink(sink), m_limiter(limits)
{
}

void FixedModeEngine::soundTone(std::uint32_t now)
{
    const auto velocity = m_limiter.noteOn(m_key, kVelocity, now);
    m_sounding = velocity.has_value();
    if (velocity) {
        m_refusal.reset();
        m_velocity = *velocity;
        m_sink.sendNoteOn(kChannel, m_key, *velocity);
        return;
    }
    const CoilLimits& limits = m_limiter.limits();
    char text[128];
    if (limits.dutyLimitPercent && m_limiter.admits(m_key)) {
        std::snprintf(text, sizeof text, "Coil limits: %d Hz does not fit under the duty limit of %g %%",
                      frequencyForKey(m_key), *limits.dutyLimitPercent);
    } else {
        std::snprintf(text, sizeof text, "Coil limits: %d Hz (key %d) is outside the coil's keys %d..%d",
                      frequencyForKey(m_key), m_key, limits.lowestKey.value_or(0), limits.highestKey.value_or(127));
    }
    m_refusal = text;
}

std::string FixedModeEngine::statusText(int power) const
{
    return m_refusal ? *m_refusal : fixedModeStatusText(m_key, power, m_velocity);
}

void FixedModeEngine::start(int key, int power, std::uint32_t now)
{
    m_key = key;
    m_power = power;
    soundTone(now);
    m_sink.sendControlChange(kChannel, kChannelVolume, m_power);
    if (m_refusal) {
        m_sink.statusText(*m_refusal);
    }
}

void FixedModeEngine::update(int key, int power, std::uint32_t now)
{
    if (key != m_key) {
        // A note-off always passes; the limiter only follows it.
        m_limiter.noteOn(m_key, 0, now);
        m_sink.sendNoteOn(kChannel, m_key, 0);
        m_key = key;
        soundTone(now);
        m_sink.statusText(statusText(power));
    }
    if (power != m_power) {
        m_sink.sendControlChange(kChannel, kChannelVolume, power);
        m_power = power;
        m_sink.statusText(statusText(power));
    }
}

bool FixedModeEngine::cutIfDue(std::uint32_t now)
{
    const auto key = m_limiter.takeDueCut(now);
    if (!key) {
        return false;
    }
    m_sounding = false;
    m_sink.sendNoteOn(kChannel, *key, 0);
    char text[96];
    std::snprintf(text, sizeof text, "Coil limits: %d Hz cut after %d ms", frequencyForKey(*key),
                  static_cast<int>(*m_limiter.limits().maxNoteMs));
    m_sink.statusText(text);
    return true;
}

bool FixedModeEngine::soundAgain(std::uint32_t now)
{
    if (m_sounding) {
        return false;
    }
    soundTone(now);
    m_sink.statusText(statusText(m_power));
    return m_sounding;
}

void FixedModeEngine::stop()
{
    m_sink.silence(kChannel);
    m_limiter.silenced();
    m_sink.statusText("Exited Fixed Mode");
}
