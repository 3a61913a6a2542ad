#include "views/SongKey.h"

#include "platform/Environment.h"

#include <chrono>
#include <filesystem>
#include <system_error>

FileStamp fileStamp(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(pathFromUtf8(path), error);
    if (error) {
        return {};
    }
    const auto written = std::filesystem::last_write_time(pathFromUtf8(path), error);
    if (error) {
        return {};
    }
    return {static_cast<std::int64_t>(size),
            std::chrono::duration_cast<std::chrono::nanoseconds>(written.time_since_epoch()).count()};
}

SongKey songKey(const std::string& path, const PlaybackOptions& options)
{
    SongKey key;
    key.path = path;
    key.playChannel = options.playChannel;
    key.shiftLowNotes = options.shiftLowNotes;
    key.lowerLimit = options.lowerLimit;
    if (options.customCurve != 0 && options.curveLoaded != 0) {
        key.velocityCurve = options.velocityCurve;
    }
    key.coilLimits = options.coilLimits;
    key.file = fileStamp(path);
    return key;
}
