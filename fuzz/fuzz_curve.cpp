// The velocity curve file: any bytes either load (the curve in use, every
// velocity sent a signed 8-bit value, 0 still a note-off) or are refused
// with a message and change nothing.

#include "song/PlaybackOptions.h"
#include "song/VelocityCurve.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// One file for the whole run, written afresh for each input: in memory
// (/dev/shm) where there is such a folder, as the reader takes a path.
const std::string& curvePath()
{
    static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    "/quillarc-fuzz-curve-" + std::to_string(getpid()) + ".txt";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(curvePath().c_str(), "wb");
    require(file != nullptr);
    require(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
    PlaybackOptions options;
    options.customCurve = 1;
    std::string error;
    if (!loadVelocityCurve(curvePath(), options, error)) {
        require(!error.empty() && options.curveLoaded == 0);
        require(options.velocityCurve == PlaybackOptions::identityCurve());
        return 0;
    }
    require(options.curveLoaded != 0 && options.curveFileName == curvePath());
    require(curvedVelocity(0, options) == 0);
    for (int velocity = 1; velocity < 128; ++velocity) {
        const int sent = curvedVelocity(velocity, options);
        require(sent >= -128 && sent <= 127);
    }
    return 0;
}
