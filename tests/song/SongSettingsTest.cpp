#include "coilmodel/CoilLimitsFile.h"
#include "song/NoteList.h"
#include "song/SongSettingsFile.h"
#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

namespace {

TEST(SongSpeed, TimesAfterTheLeadInAreScaledAndRoundedDown)
{
    for (const auto& [timeMs, speed, expected] : std::vector<std::tuple<std::int32_t, std::int32_t, std::int64_t>>{
             {1001, 25, 2504}, {1001, 100, 1001}, {1001, 133, 876}, {1001, 400, 625}, {2503, 133, 2006},
             {499, 25, 499}, {INT32_MAX, 25, 8589933088}}) {
        EXPECT_EQ(scaledTimeMs(timeMs, speed), expected) << timeMs << " at " << speed;
    }
    NoteList list{{{60, 9, 700}, {60, 0, INT32_MAX}}, {}, 120.0, false};
    applySpeed(list, 50);
    EXPECT_EQ(list.entries, (std::vector<NoteListEntry>{{60, 9, 900}}));
    EXPECT_EQ(list.error, "Error: note time out of range at 50 % speed");
    // The hash that names the files must never change.
    EXPECT_EQ(fnv1a64("a", 1), 0xaf63dc4c8601ec8cULL);
}

TEST(SongSettingsFile, EachMistakeNamesTheFileAndLine)
{
    for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
             {"speed = 133\nloop = 2.5-10.125\nvolume=80 # quiet\n[coil Lead]\nchannels = 3-5, 0\ntranspose = -12\n",
              "# settings of the song s.mid\nvolume = 80\nspeed = 133\nloop = 2.5-10.125\n\n[coil Lead]\n"
              "channels = 0, 3-5\ntranspose = -12\n"},
             {"speed = 24", "Error: s.conf:1: speed must be a whole number from 25 to 400"},
             {"\n# c\nloop = 5-5", "Error: s.conf:3: loop end 5 is not after its start 5"},
             {"loop = 2", "Error: s.conf:1: loop must be FROM-TO in seconds from 0 to 2000000, not '2'"},
             {"[coil Lead]\nchannels = 16", "Error: s.conf:2: channel 16 is outside 0 to 15"},
             {"[coil A]\ntranspose = 1.5", "Error: s.conf:2: transpose must be a whole number from -48 to 48"},
             {"transpose = 3", "Error: s.conf:1: key 'transpose' outside any [coil NAME] section"},
             {"speed = 100\nspeed = 110", "Error: s.conf:2: duplicate key 'speed'"},
             {"[coil A]\n[coil A]", "Error: s.conf:2: duplicate coil 'A'"},
             {"volume =", "Error: s.conf:1: key 'volume' has no value"},
             {"[coil]", "Error: s.conf:1: expected [coil NAME], not '[coil]'"},
             {"tempo = 3", "Error: s.conf:1: unknown key 'tempo' (volume, speed or loop)"}}) {
        SongSettings settings;
        std::string error;
        const bool parsed = parseSongSettings(text, "s.conf", settings, error);
        EXPECT_EQ(parsed ? songSettingsText(settings, "s.mid") : error, expected) << text;
    }
}

TEST(SongSettingsFile, FollowTheSongsBytesNotItsName)
{
    const ConfigFolder config;
    std::filesystem::create_directories(config.dir());
    const std::string song = config.dir() + "/a.mid";
    std::ofstream(song, std::ios::binary) << "MThd-ish bytes";
    FoundSongSettings found;
    std::string error;
    // Without any settings file the song is not even read.
    ASSERT_TRUE(findSongSettings(song, found, error, true));
    EXPECT_EQ(found.path, "");
    const std::atomic<bool> raised{true};
    EXPECT_EQ(songFileHash(song, error, &raised), std::nullopt);
    ASSERT_TRUE(findSongSettings(song, found, error));
    EXPECT_FALSE(found.found);
    SongSettings settings;
    settings.speedPercent = 150;
    ASSERT_TRUE(writeSongSettings(found.path, settings, song, error)) << error;

    std::filesystem::rename(song, config.dir() + "/renamed.mid");
    ASSERT_TRUE(findSongSettings(config.dir() + "/renamed.mid", found, error, true));
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.settings, settings);

    std::ofstream(config.dir() + "/renamed.mid", std::ios::app) << '!';
    ASSERT_TRUE(findSongSettings(config.dir() + "/renamed.mid", found, error));
    EXPECT_FALSE(found.found);

    // A file that does not parse is kept as the user left it.
    std::ofstream(found.path) << "speed = fast\n";
    EXPECT_FALSE(writeSongSettings(found.path, settings, song, error));
    EXPECT_EQ(error, "Error: " + found.path + ":1: bad number 'fast'" + kLimitsFileKeptText);
    EXPECT_FALSE(findSongSettings(config.dir() + "/renamed.mid", found, error));
}

}  // namespace
