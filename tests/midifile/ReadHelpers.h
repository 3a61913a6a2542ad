#pragma once

#include "midifile/MidiFile.h"
#include "support/PrintedLines.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Reads `bytes` into `file` as "t.mid", returning the lines the reader gave.
inline std::string readInto(MidiFile& file, const std::vector<std::uint8_t>& bytes, bool* ok = nullptr)
{
    PrintedLines printed;
    const bool result = file.loadBytes(bytes, "t.mid", nullptr, printed);
    if (ok != nullptr) {
        *ok = result;
    }
    return printed.text;
}

inline std::vector<int> messageOf(const MidiEvent& event)
{
    std::vector<int> bytes;
    for (std::int32_t i = 0; i < event.size(); ++i) {
        bytes.push_back(event.bytes.at(i));
    }
    return bytes;
}

inline std::vector<std::vector<int>> messagesOf(const MidiFile& file, int track)
{
    std::vector<std::vector<int>> out;
    for (std::int32_t i = 0; i < file.eventCount(track); ++i) {
        out.push_back(messageOf(file.eventAt(track, i)));
    }
    return out;
}

inline std::vector<int> ticksOf(const MidiFile& file, int track)
{
    std::vector<int> out;
    for (std::int32_t i = 0; i < file.eventCount(track); ++i) {
        out.push_back(file.eventAt(track, i).tick);
    }
    return out;
}
