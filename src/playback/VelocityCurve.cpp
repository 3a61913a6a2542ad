#include "playback/VelocityCurve.h"

#include <cstdio>

bool loadVelocityCurve(const std::string& path, PlaybackOptions& options, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        error = "Error: cannot open velocity curve file " + path;
        return false;
    }
    options.curveLoaded = 1;
    options.curveFileName = path;
    // scanf's "%d" skips leading white space (line ends included); a failed
    // read consumes nothing, so reading never resumes after the first failure.
    for (std::size_t i = 0; i < options.velocityCurve.size(); ++i) {
        long value = 0;
        if (std::fscanf(file, "%ld", &value) != 1) {
            break;
        }
        options.velocityCurve[i] = static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
    }
    std::fclose(file);
    return true;
}

int curvedVelocity(int velocity, const PlaybackOptions& options)
{
    if (options.customCurve != 0 && options.curveLoaded != 0 && velocity > 0 && velocity < 128) {
        return options.velocityCurve[static_cast<std::size_t>(velocity)];
    }
    return velocity;
}
