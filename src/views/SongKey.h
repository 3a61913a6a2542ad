#pragma once

#include "playback/PlaybackOptions.h"

#include <cstdint>
#include <string>

// What a computed chart depends on: the file as it is on disk and the options
// that shape its note list. Two equal keys give the same charts.
struct SongKey {
    std::string path;
    std::int64_t size = -1;    // -1: the file could not be examined
    std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the file clock's epoch
    std::int32_t playChannel = 0;
    std::int32_t shiftLowNotes = 0;
    std::int32_t lowerLimit = 0;

    bool operator==(const SongKey&) const = default;
};

// The key of `path` now, with `options`.
SongKey songKey(const std::string& path, const PlaybackOptions& options);
