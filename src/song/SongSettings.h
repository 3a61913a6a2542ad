#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a user changes for one song only, kept outside the song's file: per
// coil of the rig its channels and transpose (each overrides the rig's for
// this song), the song's volume, its speed and a loop region.
struct SongCoilSettings {
    std::string coil;                       // the name of a coil of the rig
    std::optional<std::uint16_t> channels;  // one bit per channel 0..15
    std::optional<std::int32_t> transpose;  // semitones, -48..48
    friend bool operator==(const SongCoilSettings&, const SongCoilSettings&) = default;
};

// Two positions on the song's clock (lead-in included, as a seek's), at
// 100 % speed: the song plays from `fromMs` to `toMs` again and again.
struct LoopRegion {
    std::int32_t fromMs = 0;
    std::int32_t toMs = 0;
    friend bool operator==(const LoopRegion&, const LoopRegion&) = default;
};

struct SongSettings {
    std::vector<SongCoilSettings> coils;
    std::optional<std::int32_t> volumePercent;  // 1..100 of each coil's share
    std::optional<std::int32_t> speedPercent;   // kSlowestSpeed..kFastestSpeed
    std::optional<LoopRegion> loop;
    friend bool operator==(const SongSettings&, const SongSettings&) = default;

    bool empty() const { return coils.empty() && !volumePercent && !speedPercent && !loop; }
};

// "0, 3-5" into one bit per channel; the reason when it is not such a list
// ("channel 16 is outside 0 to 15"), `bits` then as it was. The one reader of
// a channel list, for the rig file too.
std::optional<std::string> parseChannelList(std::string_view list, std::uint16_t& bits);
// The list back as text, ranges joined: "0, 3-5".
std::string channelListText(std::uint16_t bits);
// "2.5-10" (seconds, fractions allowed) into a region; the reason when it is
// not one, or when its end is not after its start.
std::optional<std::string> parseLoopRegion(std::string_view text, LoopRegion& loop);

// Sets `key` from `value` as a line of the file does: volume, speed and loop
// at the top, channels and transpose for `coil` (a coil's section) when it is
// given. An empty value removes the key. The reason when the key is unknown
// or its value wrong, with `settings` then as it was.
std::optional<std::string> setSongKey(SongSettings& settings, const std::string* coil, std::string_view key,
                                      std::string_view value);

// Parses the text of a song settings file named `path`: `key = value` lines,
// `#` comments, `[coil NAME]` sections for the coils' keys. On an error
// returns false with "Error: PATH:LINE: REASON" in `error` and leaves
// `settings` as it was.
bool parseSongSettings(std::string_view text, const std::string& path, SongSettings& settings, std::string& error);
// The text of a file holding `settings`, the song's file name `songName` in
// its first line's comment.
std::string songSettingsText(const SongSettings& settings, std::string_view songName);
