#include "song/VelocityCurve.h"

#include "platform/RegularFile.h"

#include <cstdio>

bool loadVelocityCurve(const std::string& path, PlaybackOptions& options, std::string& error)
{
    // Opened as songs are: a FIFO or a device cannot hold the caller (the
    // panel loads a curve on its GUI thread), and only what the 128 values
    // need is read.
    const RegularFile opened = openRegularFile(path);
    if (opened.state == RegularFile::State::NotRegular) {
        error = "Error: not a regular file " + path;
        return false;
    }
    // A file that is empty when opened has no values; kernel files that show
    // a size of 0 (some of which block on read) are never read either, as
    // the song reader reads no more than the size seen at opening.
    if (opened.state == RegularFile::State::Ready && opened.size == 0) {
        closeRegularFile(opened.fd);
        error = "Error: no velocity values in " + path;
        return false;
    }
    std::FILE* file = opened.state == RegularFile::State::Ready ? regularFileStream(opened.fd) : nullptr;
    if (file == nullptr) {
        closeRegularFile(opened.fd);
        error = "Error: cannot open velocity curve file " + path;
        return false;
    }
    // scanf's "%d" skips leading white space (line ends included); a failed
    // read consumes nothing, so reading never resumes after the first failure.
    std::array<std::int8_t, 128> curve = options.velocityCurve;
    std::size_t read = 0;
    for (long value = 0; read < curve.size() && std::fscanf(file, "%ld", &value) == 1; ++read) {
        curve[read] = static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
    }
    std::fclose(file);
    // A file without a single value is taken for a mistake rather than a
    // curve that changes nothing.
    if (read == 0) {
        error = "Error: no velocity values in " + path;
        return false;
    }
    options.velocityCurve = curve;
    options.curveLoaded = 1;
    options.curveFileName = path;
    return true;
}

int curvedVelocity(int velocity, const PlaybackOptions& options)
{
    if (options.customCurve != 0 && options.curveLoaded != 0 && velocity > 0 && velocity < 128) {
        return options.velocityCurve[static_cast<std::size_t>(velocity)];
    }
    return velocity;
}
