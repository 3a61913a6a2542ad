// The coil limits file: any text either parses, or is refused with an error
// naming the file and a line and leaves the limits as they were. What parses
// is written back (the writer keeps the user's lines) and reads back to the
// same limits, also after each limit is switched off or changed.

#include "coilmodel/CoilLimitsFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void require(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

void requireRoundTrip(std::string_view text, const CoilLimits& limits)
{
    const std::string written = coilLimitsFileWith(text, limits);
    CoilLimits read;
    std::string error;
    require(parseCoilLimits(written, "fuzz.conf", read, error));
    require(read == limits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CoilLimits before{12.5, 40, 3, 4};
    CoilLimits limits = before;
    std::string error;
    if (!parseCoilLimits(text, "fuzz.conf", limits, error)) {
        require(limits == before);
        require(error.starts_with("Error: fuzz.conf:"));
        return 0;
    }
    requireRoundTrip(text, limits);
    requireRoundTrip(text, CoilLimits{});
    requireRoundTrip(text, CoilLimits{0.25, 1, 0, 127});
    return 0;
}
