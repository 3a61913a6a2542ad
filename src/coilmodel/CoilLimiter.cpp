#include "coilmodel/CoilLimiter.h"

#include "midiout/ShortMessage.h"

#include <algorithm>
#include <cstdio>

std::string coilLimitsText(const CoilLimitCounts& counts)
{
    char text[128];
    std::snprintf(text, sizeof text, "Coil limits: %lld note%s softened, %lld dropped, %lld cut",
                  static_cast<long long>(counts.softened), counts.softened == 1 ? "" : "s",
                  static_cast<long long>(counts.dropped), static_cast<long long>(counts.cut));
    return text;
}

namespace {

// The data byte the controller reads.
std::size_t wireKey(int key)
{
    return static_cast<std::size_t>(key & 0x7F);
}

}  // namespace

bool CoilLimiter::admits(int key) const
{
    return (!m_limits.lowestKey || key >= *m_limits.lowestKey) && (!m_limits.highestKey || key <= *m_limits.highestKey);
}

std::optional<int> CoilLimiter::noteOn(int key, int velocity, std::uint32_t now)
{
    const std::size_t slot = wireKey(key);
    if ((velocity & 0x7F) == 0) {
        m_model.noteOff(static_cast<std::int32_t>(slot));
        m_soundingSince[slot].reset();
        return velocity;
    }
    if (!admits(key)) {
        ++m_counts.dropped;
        return std::nullopt;
    }
    int sent = velocity;
    if (m_limits.dutyLimitPercent) {
        const double limit = *m_limits.dutyLimitPercent / 100.0;
        const auto fits = [&](int v) { return m_model.dutyAfter(static_cast<std::int32_t>(slot), v) <= limit; };
        int highest = velocity & 0x7F;
        // A note's duty grows with its velocity: the first that fits from the
        // top is the highest.
        while (highest >= 1 && !fits(highest)) {
            --highest;
        }
        if (highest == 0) {
            ++m_counts.dropped;
            return std::nullopt;
        }
        if (highest != (velocity & 0x7F)) {
            ++m_counts.softened;
            sent = highest;
        }
    }
    m_model.noteOn(static_cast<std::int32_t>(slot), sent & 0x7F);
    // A key struck again while it sounds has still sounded since the first.
    if (!m_soundingSince[slot]) {
        m_soundingSince[slot] = now;
    }
    return sent;
}

void CoilLimiter::controlChange(int controller)
{
    if (controller == kAllSoundOff || controller == kAllNotesOff) {
        silenced();
    }
}

void CoilLimiter::silenced()
{
    m_model.silence();
    m_soundingSince.fill(std::nullopt);
}

std::optional<std::uint32_t> CoilLimiter::sinceSounding(std::size_t key, std::uint32_t now) const
{
    if (!m_soundingSince[key]) {
        return std::nullopt;
    }
    return now - *m_soundingSince[key];
}

std::optional<int> CoilLimiter::takeDueCut(std::uint32_t now)
{
    if (!m_limits.maxNoteMs) {
        return std::nullopt;
    }
    const auto longest = static_cast<std::uint32_t>(*m_limits.maxNoteMs);
    for (std::size_t key = 0; key < m_soundingSince.size(); ++key) {
        const auto since = sinceSounding(key, now);
        if (since && *since >= longest) {
            m_soundingSince[key].reset();
            m_model.noteOff(static_cast<std::int32_t>(key));
            ++m_counts.cut;
            return static_cast<int>(key);
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> CoilLimiter::nextCutAt(std::uint32_t now) const
{
    if (!m_limits.maxNoteMs) {
        return std::nullopt;
    }
    const auto longest = static_cast<std::uint32_t>(*m_limits.maxNoteMs);
    std::optional<std::uint32_t> soonest;
    for (std::size_t key = 0; key < m_soundingSince.size(); ++key) {
        const auto since = sinceSounding(key, now);
        if (since) {
            const std::uint32_t remaining = *since >= longest ? 0U : longest - *since;
            soonest = soonest ? std::min(*soonest, remaining) : remaining;
        }
    }
    if (!soonest) {
        return std::nullopt;
    }
    return now + *soonest;
}
