// The song settings file: any text either parses, or is refused with an
// error naming the file and a line and leaves the settings as they were.
// What parses is written back and reads back to the same settings.

#include "song/SongSettings.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SongSettings before;
    before.speedPercent = 150;
    SongSettings settings = before;
    std::string error;
    if (!parseSongSettings(text, "fuzz.conf", settings, error)) {
        require(settings == before);
        require(error.starts_with("Error: fuzz.conf:"));
        return 0;
    }
    const std::string written = songSettingsText(settings, "song.mid");
    SongSettings read;
    require(parseSongSettings(written, "fuzz.conf", read, error));
    require(read == settings);
    return 0;
}
