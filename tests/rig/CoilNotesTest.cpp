#include "rig/CoilNotes.h"
#include "rig/RigSong.h"

#include "support/SmfBuilder.h"
#include "support/PrintedLines.h"
#include "support/SongFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using Entries = std::vector<NoteListEntry>;

void prepare(MidiFile& file, const std::vector<std::uint8_t>& song)
{
    ASSERT_TRUE(file.loadBytes(song, "t.mid"));
    file.toAbsoluteTicks();
    file.mergeTracks();
}

PlaybackOptions onChannel(PlaybackOptions options, std::int32_t channel)
{
    options.playChannel = channel;
    return options;
}

Coil coilOf(std::uint16_t channels, std::optional<std::int32_t> voices = {}, KeepMode keep = KeepMode::Highest,
            std::int32_t transpose = 0, std::optional<bool> shift = {}, std::optional<std::int32_t> lowerLimit = {})
{
    Coil coil;
    coil.channels.bits = channels;
    coil.voices = voices;
    coil.keep = keep;
    coil.transpose = transpose;
    coil.shiftLowNotes = shift;
    coil.lowerLimit = lowerLimit;
    return coil;
}

PlaybackOptions shiftedBelow(std::int32_t lowerLimit)
{
    PlaybackOptions options;
    options.shiftLowNotes = 1;
    options.lowerLimit = lowerLimit;
    return options;
}

// Ticks of 480 to the quarter at 120 bpm: 48 ticks are 50 ms, after the lead-in.
TEST(CoilNotes, EachCoilTakesItsChannelsThenTransposeThenShiftThenVoices)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> song;
        Coil coil;
        PlaybackOptions options;
        Entries expected;
        CoilNoteCounts counts;  // played, out of key range, dropped and stolen by voices, most keys at once
    } rows[] = {
        {"a channel set, without voices every message passing",
         SmfBuilder().track().noteOn(48, 0, 60, 10).noteOn(0, 2, 61, 11).noteOn(0, 3, 62, 1).noteOn(48, 4, 62, 13)
             .noteOff(0, 5, 64).noteOff(0, 0, 60).noteOff(0, 3, 62).noteOn(0, 15, 65, 14).noteOn(0, 0, 60, 15)
             .noteOn(0, 3, 66, 16).end().bytes(),
         coilOf(0b1000000000011001), {},
         {{60, 10, 550}, {62, 1, 550}, {62, 13, 600}, {60, 0, 600}, {62, 0, 600}, {65, 14, 600}, {60, 15, 600},
          {66, 16, 600}},
         {6, 0, 0, 0, 3}},
        {"transpose up to the top of the key range",
         SmfBuilder().track().noteOn(48, 0, 122, 1).noteOn(0, 0, 123, 2).noteOff(48, 0, 123).noteOff(0, 0, 122).end()
             .bytes(),
         coilOf(1, {}, KeepMode::Highest, 5), {}, {{127, 1, 550}, {127, 0, 600}}, {1, 1, 0, 0, 1}},
        {"transpose down to the bottom of the key range, keep latest stealing key 0",
         SmfBuilder().track().noteOn(48, 0, 13, 1).noteOn(0, 0, 12, 2).noteOn(0, 0, 14, 3).noteOn(48, 0, 12, 0)
             .noteOn(0, 0, 15, 4).noteOff(0, 0, 13).noteOff(0, 0, 14).noteOn(0, 0, 13, 5).noteOff(0, 0, 13).end().bytes(),
         coilOf(1, 2, KeepMode::Latest, -13), {},
         {{0, 1, 550}, {1, 3, 550}, {0, 0, 600}, {2, 4, 600}, {1, 0, 600}, {0, 5, 600}, {0, 0, 600}}, {4, 1, 0, 1, 2}},
        {"a key byte above 127 (a damaged file) out of range under a transpose",
         SmfBuilder().track().event(48, {0x90, 170, 1}).noteOn(0, 0, 100, 2).end().bytes(),
         coilOf(1, 1, KeepMode::Highest, -48), {}, {{52, 2, 550}}, {1, 1, 0, 0, 1}},
        {"a key byte above 127 passing as it always did without transpose or voices",
         SmfBuilder().track().event(48, {0x90, 170, 1}).end().bytes(), coilOf(1), {}, {{170, 1, 550}}, {1, 0, 0, 0, 0}},
        {"keep highest stealing key 0",
         SmfBuilder().track().noteOn(48, 0, 20, 1).noteOn(0, 0, 21, 2).noteOn(48, 0, 22, 3).end().bytes(),
         coilOf(1, 2, KeepMode::Highest, -20), {}, {{0, 1, 550}, {1, 2, 550}, {0, 0, 600}, {2, 3, 600}},
         {3, 0, 0, 1, 2}},
        {"the coil's shift after its transpose",
         SmfBuilder().track().noteOn(48, 0, 60, 1).noteOn(0, 0, 61, 1).end().bytes(),
         coilOf(1, {}, KeepMode::Highest, -10, true, 50), {}, {{58, 1, 550}, {51, 1, 550}}, {2, 0, 0, 0, 2}},
        {"the coil's shift off over the Options' shift on",
         SmfBuilder().track().noteOn(48, 0, 50, 1).end().bytes(), coilOf(1, {}, KeepMode::Highest, 0, false),
         shiftedBelow(60), {{50, 1, 550}}, {1, 0, 0, 0, 1}},
        {"the Options' shift and limit where the coil sets none",
         SmfBuilder().track().noteOn(48, 0, 55, 1).noteOn(0, 0, 56, 1).end().bytes(), coilOf(1), shiftedBelow(55),
         {{63, 1, 550}, {56, 1, 550}}, {2, 0, 0, 0, 2}},
        {"keep highest on a full coil: steals the lowest key for a higher one, drops a lower one, passes a re-strike",
         SmfBuilder().track().noteOn(48, 0, 60, 1).noteOn(0, 0, 64, 2).noteOn(48, 0, 62, 3).noteOn(48, 0, 55, 4)
             .noteOn(0, 0, 64, 5).noteOff(48, 0, 60).noteOff(0, 0, 55).noteOff(0, 0, 64).noteOn(0, 0, 62, 0).end()
             .bytes(),
         coilOf(1, 2), {},
         {{60, 1, 550}, {64, 2, 550}, {60, 0, 600}, {62, 3, 600}, {64, 5, 650}, {64, 0, 700}, {62, 0, 700}},
         {4, 0, 1, 1, 2}},
        {"keep lowest on a full coil: steals the highest key for a lower one, drops a higher one",
         SmfBuilder().track().noteOn(48, 0, 60, 1).noteOn(0, 0, 64, 2).noteOn(48, 0, 62, 3).noteOn(48, 0, 70, 4)
             .noteOff(48, 0, 64).noteOff(0, 0, 70).noteOff(0, 0, 60).noteOn(48, 0, 64, 6).end().bytes(),
         coilOf(1, 2, KeepMode::Lowest), {},
         {{60, 1, 550}, {64, 2, 550}, {64, 0, 600}, {62, 3, 600}, {60, 0, 700}, {64, 6, 750}}, {4, 0, 1, 1, 2}},
        {"keep latest: steals the key sounded longest, every note sharing it, none coming back",
         SmfBuilder().track().noteOn(48, 0, 70, 1).noteOn(0, 1, 70, 2).noteOn(0, 0, 60, 3).noteOn(48, 0, 50, 4)
             .noteOn(48, 0, 80, 5).noteOff(48, 0, 50).noteOff(0, 1, 70).noteOff(0, 0, 60).noteOff(0, 0, 80).end()
             .bytes(),
         coilOf(0b11, 2, KeepMode::Latest), {},
         {{70, 1, 550}, {70, 2, 550}, {60, 3, 550}, {70, 0, 600}, {50, 4, 600}, {60, 0, 650}, {80, 5, 650},
          {50, 0, 700}, {80, 0, 700}},
         {5, 0, 0, 3, 2}},
        {"two channels sharing one key: it stops with the last of its notes",
         SmfBuilder().track().noteOn(48, 0, 60, 1).noteOn(0, 1, 60, 2).noteOn(48, 1, 62, 3).noteOff(48, 0, 60)
             .noteOff(48, 1, 60).noteOff(0, 1, 62).end().bytes(),
         coilOf(0b11, 2), {}, {{60, 1, 550}, {60, 2, 550}, {62, 3, 600}, {60, 0, 700}, {62, 0, 700}},
         {3, 0, 0, 0, 2}},
        {"two keys the shift makes one share it, one voice",
         SmfBuilder().track().noteOn(48, 0, 50, 1).noteOn(0, 0, 58, 2).noteOff(48, 0, 58).noteOn(0, 0, 61, 3)
             .noteOff(48, 0, 50).end().bytes(),
         coilOf(1, 1, KeepMode::Lowest), shiftedBelow(50), {{58, 1, 550}, {58, 2, 550}, {58, 0, 650}},
         {2, 0, 1, 0, 1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MidiFile file;
        prepare(file, row.song);
        const CoilNoteList list = extractCoilNotes(file, row.coil, row.options);
        ASSERT_TRUE(list.notes.ok());
        EXPECT_EQ(list.notes.entries, row.expected);
        EXPECT_EQ(list.counts, row.counts);
    }
}

// Songs nobody here wrote, with chords on several channels, and one with
// tempo changes and a note on a channel no file above uses.
TEST(CoilNotes, WithoutVoicesOrTransposeEachCoilGetsExactlyTheSingleCoilListInOneWalk)
{
    const std::filesystem::path collection = std::filesystem::path(QUILLARC_SHARED_MIDI_DIR) / "jazz-soft";
    if (!std::filesystem::is_directory(collection)) {
        GTEST_SKIP() << "test collection not found at " << collection;
    }
    std::vector<std::vector<std::uint8_t>> songs;
    for (const char* name : {"test-multichannel-chords-0.mid", "test-multichannel-chords-1.mid",
                             "test-multichannel-chords-2.mid", "test-sysex-7f-04-04-master-coarse-tuning.mid"}) {
        std::ifstream in(collection / name, std::ios::binary);
        songs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    songs.push_back(SmfBuilder(1, 96).track().tempo(0, 350000).noteOn(7, 9, 40, 5).tempo(5, 410000).noteOn(3, 14, 60, 6)
                        .noteOff(9, 9, 40).noteOn(0, 15, 50, 7).end().bytes());
    for (const auto& song : songs) {
        MidiFile file;
        prepare(file, song);
        for (const PlaybackOptions& options : {PlaybackOptions{}, shiftedBelow(60)}) {
            SCOPED_TRACE("song " + std::to_string(&song - songs.data()) + (options.shiftLowNotes != 0 ? ", shift on" : ""));
            Rig everyChannel;
            for (std::int32_t channel = 0; channel < 16; ++channel) {
                everyChannel.coils.push_back(defaultRig(onChannel(options, channel)).coils.front());
            }
            PrintedLines heard;
            const auto lists = extractRigNotes(file, everyChannel, options, heard);
            std::size_t channelsWithNotes = 0;
            for (std::int32_t channel = 0; channel < 16; ++channel) {
                PrintedLines printed;
                const NoteList today = extractNotes(file, onChannel(options, channel), nullptr, printed);
                EXPECT_EQ(printed.text, heard.text);
                const NoteList& coil = lists[static_cast<std::size_t>(channel)].notes;
                EXPECT_EQ(coil.entries, today.entries) << "channel " << channel;
                EXPECT_EQ(coil.error, today.error);
                EXPECT_EQ(coil.tempoBpm, today.tempoBpm);
                channelsWithNotes += today.entries.empty() ? 0 : 1;
            }
            EXPECT_GE(channelsWithNotes, 3U);
        }
    }
}

TEST(CoilNotes, ANoteTimeThatDoesNotFitOnOneCoilsChannelsEndsEveryCoilsList)
{
    // Channel 9's first note does not fit in 32 bits; the next, after a faster tempo, would.
    MidiFile file;
    prepare(file, SmfBuilder(1, 1).track().noteOn(0, 0, 70, 1).tempo(0, 0xFFFFFF).noteOn(200000, 9, 60, 1)
                      .tempo(0, 250000).noteOn(1, 9, 61, 1).noteOn(0, 0, 71, 1).end().bytes());
    const Rig rig{{coilOf(1), coilOf(1 << 9)}, {}};
    const auto lists = extractRigNotes(file, rig, {});
    EXPECT_EQ(lists[0].notes.error, "Error: note time out of range at tick 200000");
    EXPECT_EQ(lists[1].notes.error, lists[0].notes.error);
    EXPECT_EQ(lists[0].notes.entries, (Entries{{70, 1, 500}}));
    EXPECT_EQ(lists[1].notes.entries, Entries{});
    const CoilNoteList alone = extractCoilNotes(file, rig.coils[0], {});
    EXPECT_TRUE(alone.notes.ok());
    EXPECT_EQ(alone.notes.entries, (Entries{{70, 1, 500}, {71, 1, 50000750}}));
}

}  // namespace

using CoilSong = SongFolder;

TEST_F(CoilSong, AChartGetsTheChosenCoilsNotesWithTheSongSettingsAndTheSpeedInForce)
{
    const std::string path = write("song.mid", SmfBuilder().track().noteOn(48, 0, 60, 90).noteOn(0, 1, 50, 80)
                                                   .noteOn(0, 2, 70, 70).noteOff(48, 0, 60).noteOff(0, 1, 50)
                                                   .noteOff(0, 2, 70).end().bytes());
    Rig rig{{coilOf(0b001), coilOf(0b010, {}, KeepMode::Highest, -12)}, {}};
    rig.coils[0].name = "Lead";
    rig.coils[1].name = "Bass";
    const struct {
        const char* name;
        const char* coil;
        SongSettings settings;
        std::optional<std::int32_t> speed;
        Entries expected;  // empty: no coil of the name
    } rows[] = {
        {"Lead as the rig has it, at 100 %", "Lead", {}, {}, {{60, 90, 550}, {60, 0, 600}}},
        {"Bass with its transpose at the song's own 133 %", "Bass", {{}, {}, 133, {}}, {}, {{38, 80, 537}, {38, 0, 575}}},
        {"the speed in force over the song's: 400 over 133", "Lead", {{}, {}, 133, {}}, 400, {{60, 90, 512}, {60, 0, 525}}},
        {"the song moves Lead to channel 2, up 5, at 25 %", "Lead", {{{"Lead", 0b100, 5}}, {}, {}, {}}, 25,
         {{75, 70, 700}, {75, 0, 900}}},
        {"settings of the other coil and a volume leave Bass as the rig has it", "Bass", {{{"Lead", 0b100, 7}}, 40, {}, {}},
         {}, {{38, 80, 550}, {38, 0, 600}}},
        {"the song takes Bass's channels and keeps its transpose", "Bass", {{{"Bass", 0b101, {}}}, {}, {}, {}}, {},
         {{48, 90, 550}, {58, 70, 550}, {48, 0, 600}, {58, 0, 600}}},
        {"no coil of the name", "Coil", {}, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto setup = coilSongSetup(rig, row.settings, row.coil, row.speed, PlaybackOptions{});
        ASSERT_EQ(setup.has_value(), !row.expected.empty());
        if (setup) {
            EXPECT_EQ(loadCoilSong(path, *setup).notes.entries, row.expected);
        }
    }
}
