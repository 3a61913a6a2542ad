#pragma once

#include "rig/Rig.h"
#include "song/PlaybackOptions.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A file as it is on disk: a change of its size or modification time tells
// that it was written.
struct FileStamp {
    std::int64_t size = -1;    // -1: the file could not be examined (or is not there)
    std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the file clock's epoch

    bool operator==(const FileStamp&) const = default;
};

// The stamp of `path` now.
FileStamp fileStamp(const std::string& path);

// What a computed chart depends on: the file as it is on disk, the options
// that shape its note list, and those the duty window's coil figures and
// limit line are reckoned with; with the rig, the coil shown, the speed in
// force and the song's settings file. Two equal keys give the same charts.
struct SongKey {
    std::string path;
    FileStamp file;
    std::int32_t playChannel = 0;
    std::int32_t shiftLowNotes = 0;
    std::int32_t lowerLimit = 0;
    // The velocity curve sent, or none when it is not in use.
    std::optional<std::array<std::int8_t, 128>> velocityCurve;
    CoilLimits coilLimits;
    // The rig file's coils (none: the default rig, made of the options).
    std::vector<Coil> rigCoils;
    std::string coil;
    // The speed in force; none: the song's own.
    std::optional<std::int32_t> speedPercent;
    // The song's settings file (empty until a worker has hashed the song) as
    // it was when it was read.
    std::string settingsPath;
    FileStamp settings;

    bool operator==(const SongKey&) const = default;
};

// The key of `path` now, with `options`.
SongKey songKey(const std::string& path, const PlaybackOptions& options);
