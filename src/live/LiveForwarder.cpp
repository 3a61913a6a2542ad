#include "live/LiveForwarder.h"

#include "midiout/ShortMessage.h"
#include "song/NoteList.h"
#include "song/VelocityCurve.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kNoteOnStatus = 0x90;
constexpr std::uint8_t kControlStatus = 0xB0;

CoilMessage noteOnMessage(int key, int velocity)
{
    return {kNoteOnStatus, static_cast<std::uint8_t>(key & 0x7F), static_cast<std::uint8_t>(velocity & 0x7F)};
}

}  // namespace

LiveForwarder::LiveForwarder(int inputChannel) : m_inputChannel(inputChannel) {}

void LiveForwarder::receive(const std::uint8_t* bytes, std::size_t length, const PlaybackOptions& options,
                            std::uint32_t now, CoilMessages& out)
{
    for (std::size_t index = 0; index < length; ++index) {
        const std::uint8_t byte = bytes[index];
        if (byte >= 0xF8) {
            continue;  // realtime: may come between any two bytes
        }
        if (byte >= 0x80) {
            // A system message ends running status; its data bytes are dropped.
            m_status = byte < 0xF0 ? byte : 0;
            m_dataCount = 0;
            continue;
        }
        if (m_status == 0) {
            continue;
        }
        m_data[m_dataCount++] = byte;
        if (m_dataCount == shortMessageLength(m_status) - 1) {
            message(options, now, out);
            m_dataCount = 0;
        }
    }
}

void LiveForwarder::message(const PlaybackOptions& options, std::uint32_t now, CoilMessages& out)
{
    const int channel = m_status & 0x0F;
    if (m_inputChannel != kAllChannels && channel != m_inputChannel) {
        return;
    }
    m_limiter.setLimits(options.coilLimits);
    const int kind = m_status >> 4;
    const int key = m_data[0];
    const int value = m_data[1];
    if (kind == 0x9 && value > 0) {
        noteOn(channel, key, value, options, now, out);
    } else if (kind == 0x8 || kind == 0x9) {
        noteOff(channel, key, now, out);
    } else if (kind == 0xB && key == kSustain) {
        pedal(channel, value >= 64, now, out);
    } else if (kind == 0xB && (key == kAllSoundOff || key == kAllNotesOff)) {
        silence(out);
    }
}

void LiveForwarder::noteOn(int channel, int key, int velocity, const PlaybackOptions& options, std::uint32_t now,
                           CoilMessages& out)
{
    Note& note = m_notes[static_cast<std::size_t>(channel)][static_cast<std::size_t>(key)];
    // Struck again before its note-off (or while the pedal holds it): the old
    // note ends first, so that it never outlives its last release.
    release(note, now, out);
    const int sounded = shiftedKey(key, options);
    const int curved = curvedVelocity(velocity, options);
    if ((curved & 0x7F) == 0) {
        return;  // the curve silences it
    }
    const auto sent = m_limiter.noteOn(sounded, curved, now);
    if (!sent) {
        return;
    }
    out.push_back(noteOnMessage(sounded, *sent));
    note.sounded = static_cast<std::int8_t>(sounded);
    ++m_soundedBy[static_cast<std::size_t>(sounded)];
}

void LiveForwarder::noteOff(int channel, int key, std::uint32_t now, CoilMessages& out)
{
    Note& note = m_notes[static_cast<std::size_t>(channel)][static_cast<std::size_t>(key)];
    if (note.sounded < 0 || note.held) {
        return;
    }
    if (m_pedalDown[static_cast<std::size_t>(channel)]) {
        note.held = true;
        m_heldOrder[static_cast<std::size_t>(channel)].push_back(static_cast<std::uint8_t>(key));
        return;
    }
    release(note, now, out);
}

void LiveForwarder::release(Note& note, std::uint32_t now, CoilMessages& out)
{
    if (note.sounded < 0) {
        return;
    }
    const auto key = static_cast<std::size_t>(note.sounded);
    note = Note{};
    if (--m_soundedBy[key] == 0) {
        m_limiter.noteOn(static_cast<int>(key), 0, now);
        out.push_back(noteOnMessage(static_cast<int>(key), 0));
    }
}

void LiveForwarder::pedal(int channel, bool down, std::uint32_t now, CoilMessages& out)
{
    const auto slot = static_cast<std::size_t>(channel);
    m_pedalDown[slot] = down;
    if (down) {
        return;
    }
    for (const std::uint8_t key : m_heldOrder[slot]) {
        Note& note = m_notes[slot][key];
        // A held note struck again has been released already.
        if (note.held) {
            release(note, now, out);
        }
    }
    m_heldOrder[slot].clear();
}

void LiveForwarder::volume(int value, CoilMessages& out)
{
    out.push_back({kControlStatus, kChannelVolume, static_cast<std::uint8_t>(value & 0x7F)});
}

void LiveForwarder::cutsDue(std::uint32_t now, CoilMessages& out)
{
    while (const auto key = m_limiter.takeDueCut(now)) {
        out.push_back(noteOnMessage(*key, 0));
        // Its input notes are over: their note-offs send nothing more.
        m_soundedBy[static_cast<std::size_t>(*key)] = 0;
        for (auto& channel : m_notes) {
            for (Note& note : channel) {
                if (note.sounded == *key) {
                    note = Note{};
                }
            }
        }
    }
}

void LiveForwarder::silence(CoilMessages& out)
{
    out.push_back({kControlStatus, kAllSoundOff, 0});
    m_limiter.controlChange(kAllSoundOff);
    m_notes = {};
    m_soundedBy = {};
    for (auto& held : m_heldOrder) {
        held.clear();
    }
}
