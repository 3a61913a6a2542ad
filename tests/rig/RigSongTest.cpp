#include "rig/RigSong.h"

#include "support/SmfBuilder.h"
#include "support/SongFolder.h"

#include <gtest/gtest.h>

namespace {

using CoilSong = SongFolder;

Coil coilNamed(const char* name, std::uint16_t channels, std::int32_t transpose)
{
    Coil coil;
    coil.name = name;
    coil.channels.bits = channels;
    coil.transpose = transpose;
    return coil;
}

SongCoilSettings songCoil(const char* name, std::optional<std::uint16_t> channels, std::optional<std::int32_t> transpose)
{
    return SongCoilSettings{name, channels, transpose};
}

}  // namespace

// Ticks of 480 to the quarter at 120 bpm: 48 ticks are 50 ms, after the 500 ms lead-in.
TEST_F(CoilSong, AChartGetsTheChosenCoilsNotesWithTheSongSettingsAndTheSpeedInForce)
{
    const std::string path = write("song.mid", SmfBuilder().track().noteOn(48, 0, 60, 90).noteOn(0, 1, 50, 80)
                                                   .noteOn(0, 2, 70, 70).noteOff(48, 0, 60).noteOff(0, 1, 50)
                                                   .noteOff(0, 2, 70).end().bytes());
    Rig rig;
    rig.coils = {coilNamed("Lead", 0b001, 0), coilNamed("Bass", 0b010, -12)};
    const struct {
        const char* name;
        const char* coil;
        SongSettings settings;
        std::optional<std::int32_t> speed;
        std::vector<NoteListEntry> expected;  // empty: no coil of the name
    } rows[] = {
        {"Lead as the rig has it, at 100 %", "Lead", {}, {}, {{60, 90, 550}, {60, 0, 600}}},
        {"Bass with its transpose at the song's own 133 %", "Bass", {{}, {}, 133, {}}, {}, {{38, 80, 537}, {38, 0, 575}}},
        {"the speed in force over the song's: 400 over 133", "Lead", {{}, {}, 133, {}}, 400, {{60, 90, 512}, {60, 0, 525}}},
        {"the song moves Lead to channel 2, up 5, at 25 %", "Lead", {{songCoil("Lead", 0b100, 5)}, {}, {}, {}}, 25,
         {{75, 70, 700}, {75, 0, 900}}},
        {"settings of the other coil and a volume leave Bass as the rig has it", "Bass",
         {{songCoil("Lead", 0b100, 7)}, 40, {}, {}}, {}, {{38, 80, 550}, {38, 0, 600}}},
        {"the song takes Bass's channels and keeps its transpose", "Bass", {{songCoil("Bass", 0b101, {})}, {}, {}, {}}, {},
         {{48, 90, 550}, {58, 70, 550}, {48, 0, 600}, {58, 0, 600}}},
        {"no coil of the name", "Coil", {}, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto setup = coilSongSetup(rig, row.settings, row.coil, row.speed, PlaybackOptions{});
        ASSERT_EQ(setup.has_value(), !row.expected.empty());
        if (!setup) {
            continue;
        }
        EXPECT_EQ(setup->rig.coils.size(), 1U);
        EXPECT_EQ(setup->rig.coils.front().name, row.coil);
        const LoadedSong song = loadCoilSong(path, *setup);
        EXPECT_EQ(song.notes.entries, row.expected);
    }
}
