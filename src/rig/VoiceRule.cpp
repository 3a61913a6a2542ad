#include "rig/VoiceRule.h"

VoiceRule::VoiceRule(std::int32_t voices, KeepMode keep) : m_voices(voices), m_keep(keep) {}

VoiceRule::Holding& VoiceRule::holding(std::int32_t channel, std::int32_t key)
{
    return m_notes[static_cast<std::size_t>(channel * 128 + key)];
}

bool VoiceRule::holds(const Holding& note) const
{
    return note.coilKey >= 0 && m_keys[static_cast<std::size_t>(note.coilKey)].generation == note.generation;
}

void VoiceRule::noteOn(std::int32_t channel, std::int32_t key, std::int32_t coilKey, std::int32_t velocity,
                       CoilKeyMessages& out)
{
    ++m_noteOns;
    Holding& note = holding(channel, key);
    if (holds(note)) {
        out.push({note.coilKey, velocity});
        return;
    }
    KeyState& state = m_keys[static_cast<std::size_t>(coilKey)];
    if (state.holders == 0) {
        if (m_sounding >= m_voices) {
            const std::int32_t stolen = victim(coilKey);
            if (stolen < 0) {
                ++m_dropped;
                return;
            }
            steal(stolen, out);
        }
        state.since = m_noteOns;
        ++m_sounding;
    }
    ++state.holders;
    note = {static_cast<std::int16_t>(coilKey), state.generation};
    out.push({coilKey, velocity});
}

void VoiceRule::noteOff(std::int32_t channel, std::int32_t key, CoilKeyMessages& out)
{
    Holding& note = holding(channel, key);
    if (!holds(note)) {
        return;
    }
    KeyState& state = m_keys[static_cast<std::size_t>(note.coilKey)];
    if (--state.holders == 0) {
        --m_sounding;
        out.push({note.coilKey, 0});
    }
    note.coilKey = -1;
}

void VoiceRule::silenced()
{
    // A new generation for every key frees each note at once, as a steal does.
    for (KeyState& state : m_keys) {
        state = {0, state.generation + 1, 0};
    }
    m_sounding = 0;
}

std::int32_t VoiceRule::victim(std::int32_t coilKey) const
{
    std::int32_t lowest = -1;
    std::int32_t highest = -1;
    std::int32_t oldest = -1;
    for (std::int32_t key = 0; key < 128; ++key) {
        const KeyState& state = m_keys[static_cast<std::size_t>(key)];
        if (state.holders == 0) {
            continue;
        }
        lowest = lowest < 0 ? key : lowest;
        highest = key;
        if (oldest < 0 || state.since < m_keys[static_cast<std::size_t>(oldest)].since) {
            oldest = key;
        }
    }
    switch (m_keep) {
    case KeepMode::Highest:
        return coilKey > lowest ? lowest : -1;
    case KeepMode::Lowest:
        return coilKey < highest ? highest : -1;
    case KeepMode::Latest:
        break;
    }
    return oldest;
}

void VoiceRule::steal(std::int32_t coilKey, CoilKeyMessages& out)
{
    KeyState& state = m_keys[static_cast<std::size_t>(coilKey)];
    m_stolen += state.holders;
    state.holders = 0;
    ++state.generation;
    --m_sounding;
    out.push({coilKey, 0});
}
