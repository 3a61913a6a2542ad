#pragma once

#include "support/SmfBuilder.h"

#include <cstdint>
#include <vector>

// A song large enough that reading, merging and extracting it take a while:
// `tracks` tracks of `notesPerTrack` note-on/note-off pairs on channels 0, 1,
// ..., with a tempo at the start of the first and running status throughout.
// Written byte by byte: the builder's per-event convenience costs too much
// at this size.
inline std::vector<std::uint8_t> bigSong(int tracks, int notesPerTrack)
{
    std::vector<std::uint8_t> out{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    SmfBuilder::put16(out, tracks);
    SmfBuilder::put16(out, 384);
    for (int t = 0; t < tracks; ++t) {
        std::vector<std::uint8_t> body;
        body.reserve(static_cast<std::size_t>(notesPerTrack) * 4 + 16);
        if (t == 0) {
            body.insert(body.end(), {0, 0xFF, 0x51, 0x03, 0x06, 0xDD, 0xD0});  // 450000 µs
        }
        body.insert(body.end(), {static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(0x90 | (t & 0x0F)),
                                 static_cast<std::uint8_t>(40 + t), 90, 0, static_cast<std::uint8_t>(40 + t), 0});
        for (int i = 1; i < notesPerTrack; ++i) {
            const auto key = static_cast<std::uint8_t>(24 + (i * 7 + t) % 80);
            body.insert(body.end(), {static_cast<std::uint8_t>(3 + (i + t) % 5), key, static_cast<std::uint8_t>(1 + i % 127),
                                     static_cast<std::uint8_t>(1 + i % 3), key, 0});
        }
        body.insert(body.end(), {0, 0xFF, 0x2F, 0x00});
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        SmfBuilder::put32(out, static_cast<std::uint32_t>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}
