// The rig file: any text either parses to a rig of at least one coil, or is
// refused with an error naming the file and a line. What parses is written
// back over its own lines (the Coils dialog's writer) and reads back to the
// same coils: as they are, in reverse order, and without the first coil.

#include "rig/RigFile.h"
#include "rig/RigWriter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

void requireRoundTrip(std::string_view text, const Rig& before, const std::vector<EditedCoil>& coils)
{
    const std::string written = rigFileWith(text, before, coils);
    Rig read;
    std::string error;
    require(parseRig(written, "fuzz.conf", read, error));
    require(read.coils.size() == coils.size());
    for (std::size_t i = 0; i < coils.size(); ++i) {
        require(read.coils[i] == coils[i].coil);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Rig rig;
    std::string error;
    if (!parseRig(text, "fuzz.conf", rig, error)) {
        require(error.starts_with("Error: fuzz.conf:"));
        return 0;
    }
    require(!rig.coils.empty());
    std::vector<EditedCoil> coils;
    for (std::size_t i = 0; i < rig.coils.size(); ++i) {
        coils.push_back({rig.coils[i], i});
    }
    requireRoundTrip(text, rig, coils);
    requireRoundTrip(text, rig, std::vector<EditedCoil>(coils.rbegin(), coils.rend()));
    if (coils.size() > 1) {
        requireRoundTrip(text, rig, std::vector<EditedCoil>(coils.begin() + 1, coils.end()));
    }
    return 0;
}
