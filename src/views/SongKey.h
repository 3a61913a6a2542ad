#pragma once

#include "song/PlaybackOptions.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// What a computed chart depends on: the file as it is on disk, the options
// that shape its note list, and those the duty window's coil figures and
// limit line are reckoned with. Two equal keys give the same charts.
struct SongKey {
    std::string path;
    std::int64_t size = -1;    // -1: the file could not be examined
    std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the file clock's epoch
    std::int32_t playChannel = 0;
    std::int32_t shiftLowNotes = 0;
    std::int32_t lowerLimit = 0;
    // The velocity curve sent, or none when it is not in use.
    std::optional<std::array<std::int8_t, 128>> velocityCurve;
    CoilLimits coilLimits;

    bool operator==(const SongKey&) const = default;
};

// The key of `path` now, with `options`.
SongKey songKey(const std::string& path, const PlaybackOptions& options);
