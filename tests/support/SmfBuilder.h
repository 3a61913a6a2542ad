#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Builds Standard MIDI File bytes inline for tests:
//   SmfBuilder(1, 480).track().noteOn(0, 0, 60, 100).noteOff(480, 0, 60).end().bytes()
// Deltas are given per event; raw() appends any bytes to the current track.
class SmfBuilder {
public:
    explicit SmfBuilder(int format = 1, int division = 480) : m_format(format), m_division(division) {}

    SmfBuilder& track()
    {
        m_tracks.emplace_back();
        return *this;
    }
    SmfBuilder& raw(std::initializer_list<int> bytes)
    {
        for (int b : bytes) {
            m_tracks.back().push_back(static_cast<std::uint8_t>(b));
        }
        return *this;
    }
    SmfBuilder& delta(std::uint32_t value)
    {
        std::vector<std::uint8_t> groups{static_cast<std::uint8_t>(value & 0x7F)};
        while ((value >>= 7) != 0) {
            groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
        }
        m_tracks.back().insert(m_tracks.back().end(), groups.begin(), groups.end());
        return *this;
    }
    SmfBuilder& event(std::uint32_t d, std::initializer_list<int> bytes) { return delta(d).raw(bytes); }
    SmfBuilder& noteOn(std::uint32_t d, int channel, int key, int velocity)
    {
        return event(d, {0x90 | channel, key, velocity});
    }
    SmfBuilder& noteOff(std::uint32_t d, int channel, int key, int velocity = 64)
    {
        return event(d, {0x80 | channel, key, velocity});
    }
    SmfBuilder& tempo(std::uint32_t d, std::uint32_t microseconds)
    {
        return event(d, {0xFF, 0x51, 0x03, static_cast<int>(microseconds >> 16), static_cast<int>((microseconds >> 8) & 0xFF),
                         static_cast<int>(microseconds & 0xFF)});
    }
    SmfBuilder& end(std::uint32_t d = 0) { return event(d, {0xFF, 0x2F, 0x00}); }

    // The whole file; `trackCount` overrides the header's count when >= 0.
    std::vector<std::uint8_t> bytes(int trackCount = -1) const
    {
        std::vector<std::uint8_t> out{'M', 'T', 'h', 'd', 0, 0, 0, 6};
        put16(out, m_format);
        put16(out, trackCount >= 0 ? trackCount : static_cast<int>(m_tracks.size()));
        put16(out, m_division);
        for (const auto& body : m_tracks) {
            out.insert(out.end(), {'M', 'T', 'r', 'k'});
            put32(out, static_cast<std::uint32_t>(body.size()));
            out.insert(out.end(), body.begin(), body.end());
        }
        return out;
    }

    static void put16(std::vector<std::uint8_t>& out, int value)
    {
        out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    static void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
    {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
        }
    }

private:
    int m_format;
    int m_division;
    std::vector<std::vector<std::uint8_t>> m_tracks;
};
