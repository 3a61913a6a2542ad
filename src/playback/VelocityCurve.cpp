#include "playback/VelocityCurve.h"

#include "midifile/ByteStream.h"

#include <climits>
#include <optional>

namespace {

bool isSpace(std::uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next number as scanf's "%ld" reads it: white space (line ends included)
// skipped, an optional sign, decimal digits, held at the ends of long when too
// long. Nothing when no digit follows; reading never resumes after that.
std::optional<long> nextNumber(ByteStream& in)
{
    while (in.remaining() > 0 && isSpace(*in.position())) {
        in.consume(1);
    }
    bool negative = false;
    if (in.remaining() > 0 && (*in.position() == '-' || *in.position() == '+')) {
        negative = *in.position() == '-';
        in.consume(1);
    }
    if (in.remaining() == 0 || *in.position() < '0' || *in.position() > '9') {
        return std::nullopt;
    }
    long value = 0;
    bool heldAtEnd = false;
    while (in.remaining() > 0 && *in.position() >= '0' && *in.position() <= '9') {
        const int digit = *in.position() - '0';
        in.consume(1);
        if (heldAtEnd) {
            continue;
        }
        if (negative ? value < (LONG_MIN + digit) / 10 : value > (LONG_MAX - digit) / 10) {
            value = negative ? LONG_MIN : LONG_MAX;
            heldAtEnd = true;
            continue;
        }
        value = value * 10 + (negative ? -digit : digit);
    }
    return value;
}

}  // namespace

bool loadVelocityCurve(const std::string& path, PlaybackOptions& options, std::string& error)
{
    // The song reader's file access: only a regular file is read, and it is
    // opened without blocking, so a FIFO or a device cannot hold the caller
    // (the panel loads a curve on its GUI thread).
    ByteStream in(path);
    switch (in.source()) {
    case ByteStream::Source::Ready:
        break;
    case ByteStream::Source::NotRegular:
        error = "Error: not a regular file " + path;
        return false;
    case ByteStream::Source::CannotOpen:
    case ByteStream::Source::Stopped:
        error = "Error: cannot open velocity curve file " + path;
        return false;
    }
    std::array<std::int8_t, 128> curve = options.velocityCurve;
    std::size_t read = 0;
    for (; read < curve.size(); ++read) {
        const std::optional<long> value = nextNumber(in);
        if (!value) {
            break;
        }
        curve[read] = static_cast<std::int8_t>(static_cast<std::uint8_t>(*value & 0xFF));
    }
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
