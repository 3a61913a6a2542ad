#pragma once

#include <cstdint>

// Which events a read keeps. The reader parses and checks every byte of the
// file whatever it keeps, so the diagnostics, the refusals and the ticks are
// the same; only the events that are not kept are never stored. A caller
// that looks at a few kinds of event (the note list of one channel: about a
// sixteenth of a big song's events) then neither stores, merges nor frees
// the rest, which is most of the time and memory of preparing a big song.
class EventSelection {
public:
    // Every event, as read (the default).
    static constexpr EventSelection everything() { return EventSelection(true, 0); }
    // The note-ons and note-offs (status 8n and 9n, as stored: a low note-on
    // made a marker is neither) of the channels whose bit is set in
    // `channels` (bit 0: the first channel), and every set-tempo event
    // (meta type 51), whatever its length.
    static constexpr EventSelection notesAndTempo(std::uint16_t channels) { return EventSelection(false, channels); }

    bool keepsEverything() const { return m_everything; }

    // Whether an event of `size` bytes, as the reader stores it, is kept.
    bool keeps(const std::uint8_t* bytes, std::int32_t size) const
    {
        if (m_everything) {
            return true;
        }
        if (size < 1) {
            return false;
        }
        const std::uint8_t status = bytes[0];
        const int kind = status & 0xF0;
        if (kind == 0x80 || kind == 0x90) {
            return ((m_noteChannels >> (status & 0x0F)) & 1U) != 0;
        }
        return status == 0xFF && size > 1 && bytes[1] == 0x51;
    }

private:
    constexpr EventSelection(bool everything, std::uint16_t channels) : m_everything(everything), m_noteChannels(channels)
    {
    }

    bool m_everything;
    std::uint16_t m_noteChannels;
};
