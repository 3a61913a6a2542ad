#include "fixed/FixedModeEngine.h"

#include "fixed/FixedTone.h"
#include "midiout/ShortMessage.h"

FixedModeEngine::FixedModeEngine(FixedModeSink& sink) : m_sink(sink)
{
}

void FixedModeEngine::start(int key, int power)
{
    m_key = key;
    m_power = power;
    m_sink.sendNoteOn(kChannel, m_key, kVelocity);
    m_sink.sendControlChange(kChannel, kChannelVolume, m_power);
}

void FixedModeEngine::update(int key, int power)
{
    if (key != m_key) {
        m_sink.sendNoteOn(kChannel, m_key, 0);
        m_key = key;
        m_sink.sendNoteOn(kChannel, key, kVelocity);
        m_sink.statusText(fixedModeStatusText(key, power));
    }
    if (power != m_power) {
        m_sink.sendControlChange(kChannel, kChannelVolume, power);
        m_power = power;
        m_sink.statusText(fixedModeStatusText(key, power));
    }
}

void FixedModeEngine::stop()
{
    m_sink.sendControlChange(kChannel, kAllSoundOff, 0);
    m_sink.statusText("Exited Fixed Mode");
}
