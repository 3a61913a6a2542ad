#include "midifile/MidiFile.h"
#include "song/NoteList.h"
#include "support/BigSong.h"
#include "support/SmfBuilder.h"
#include "support/PrintedLines.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct Extracted {
    NoteList notes;
    std::string printed;
};

Extracted extract(const std::vector<std::uint8_t>& bytes, const PlaybackOptions& options = {})
{
    PrintedLines printed;
    MidiFile file;
    file.loadBytes(bytes, "t.mid", nullptr, printed);
    file.toAbsoluteTicks();
    file.mergeTracks();
    NoteList notes = extractNotes(file, options, nullptr, printed);
    return {std::move(notes), printed.text};
}

using Entries = std::vector<NoteListEntry>;

TEST(NoteList, DefaultTempoTimesTicksFromHalfASecondLeadIn)
{
    const auto result =
        extract(SmfBuilder(1, 480).track().noteOn(0, 0, 60, 100).noteOn(480, 0, 62, 90).noteOff(480, 0, 60).end().bytes());
    ASSERT_TRUE(result.notes.ok());
    EXPECT_EQ(result.notes.entries, (Entries{{60, 100, 500}, {62, 90, 1000}, {60, 0, 1500}}));
    EXPECT_EQ(result.printed, "");
}

TEST(NoteList, TempoChangeIsAnnouncedAndApplied)
{
    const auto result = extract(SmfBuilder(1, 480).track().tempo(0, 1000000).noteOn(480, 0, 60, 100).end().bytes());
    EXPECT_EQ(result.notes.entries, (Entries{{60, 100, 1500}}));
    EXPECT_EQ(result.printed, "Tempo change detected, new tempo = 60\n");
    EXPECT_DOUBLE_EQ(result.notes.tempoBpm, 60.0);
}

TEST(NoteList, TempoBetweenTwoNotesOfOneTickInOneTrackTimesTheSecondAnew)
{
    const auto result =
        extract(SmfBuilder(0, 480).track().noteOn(480, 0, 60, 100).tempo(0, 1000000).noteOn(0, 0, 62, 90).end().bytes());
    EXPECT_EQ(result.notes.entries, (Entries{{60, 100, 1000}, {62, 90, 1500}}));
}

TEST(NoteList, LaterTempoAppliesToTheWholeAbsoluteTickCount)
{
    // At 240 bpm from tick 720 on, tick 960 is timed as if the whole song had
    // run at 240 bpm: 960 ticks = 2 quarters = 500 ms, plus the lead-in.
    const auto result = extract(SmfBuilder(1, 480)
                                    .track().tempo(0, 500000).tempo(720, 250000).end()
                                    .track().noteOn(480, 0, 60, 1).noteOn(480, 0, 62, 1).end()
                                    .bytes());
    EXPECT_EQ(result.notes.entries, (Entries{{60, 1, 1000}, {62, 1, 1000}}));
    EXPECT_EQ(result.printed, "Tempo change detected, new tempo = 120\nTempo change detected, new tempo = 240\n");
}

TEST(NoteList, NoteOffsAndZeroVelocityNoteOnsBothRelease)
{
    const auto result = extract(SmfBuilder().track().noteOn(0, 0, 60, 0).noteOff(0, 0, 61, 99).end().bytes());
    EXPECT_EQ(result.notes.entries, (Entries{{60, 0, 500}, {61, 0, 500}}));
}

TEST(NoteList, OnlyNotesOfTheChosenChannelAreTaken)
{
    const auto bytes = SmfBuilder()
                           .track()
                           .noteOn(0, 3, 60, 1)
                           .noteOn(0, 0, 61, 1)
                           .event(0, {0xB3, 7, 100})  // controller
                           .event(0, {0xC3, 5})       // program change
                           .event(0, {0xE3, 0, 64})   // pitch bend
                           .event(0, {0xFF, 0x01, 0x01, 'x'})
                           .noteOn(0, 3, 5, 1)  // a marker, not a note
                           .noteOff(10, 3, 60)
                           .end()
                           .bytes();
    PlaybackOptions options;
    options.playChannel = 3;
    EXPECT_EQ(extract(bytes, options).notes.entries, (Entries{{60, 1, 500}, {60, 0, 510}}));
    options.playChannel = 0;
    EXPECT_EQ(extract(bytes, options).notes.entries, (Entries{{61, 1, 500}}));
    options.playChannel = 7;
    EXPECT_TRUE(extract(bytes, options).notes.entries.empty());
}

struct ShiftCase {
    const char* name;
    int shiftLowNotes;
    Entries expected;
};

class NoteListLowNoteShift : public testing::TestWithParam<ShiftCase> {};

TEST_P(NoteListLowNoteShift, RaisesKeysUpToTheLimitOnBothEdgesOnlyWhenSwitchedOn)
{
    PlaybackOptions options;
    options.shiftLowNotes = GetParam().shiftLowNotes;
    options.lowerLimit = 50;
    const auto result = extract(SmfBuilder()
                                    .track()
                                    .noteOn(0, 0, 50, 1)
                                    .noteOn(0, 0, 51, 1)
                                    .noteOn(0, 0, 30, 2)
                                    .noteOff(10, 0, 50)
                                    .noteOff(0, 0, 51)
                                    .noteOff(0, 0, 30)
                                    .end()
                                    .bytes(),
                                options);
    EXPECT_EQ(result.notes.entries, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoteListLowNoteShift,
    testing::Values(ShiftCase{"On", 1, {{58, 1, 500}, {51, 1, 500}, {38, 2, 500}, {58, 0, 510}, {51, 0, 510}, {38, 0, 510}}},
                    ShiftCase{"Off", 0, {{50, 1, 500}, {51, 1, 500}, {30, 2, 500}, {50, 0, 510}, {51, 0, 510}, {30, 0, 510}}}),
    [](const testing::TestParamInfo<ShiftCase>& param) { return param.param.name; });

TEST(NoteList, ShiftNeverPushesAKeyPast127)
{
    PlaybackOptions options;
    options.shiftLowNotes = 1;
    options.lowerLimit = 127;
    const auto result = extract(SmfBuilder().track().noteOn(0, 0, 119, 1).noteOn(0, 0, 120, 1).noteOn(0, 0, 127, 1).end().bytes(),
                                options);
    EXPECT_EQ(result.notes.entries, (Entries{{127, 1, 500}, {120, 1, 500}, {127, 1, 500}}));
}

TEST(NoteList, FractionalMillisecondsAreCutNotRounded)
{
    // 350000 µs per quarter at 96 ticks per quarter: 3.6458... ms per tick.
    const auto result = extract(
        SmfBuilder(1, 96).track().tempo(0, 350000).noteOn(1, 0, 60, 1).noteOff(9, 0, 60).noteOn(17, 0, 62, 1).end().bytes());
    // Ticks 1, 10 and 27: 3.65, 36.46 and 98.44 ms.
    EXPECT_EQ(result.notes.entries, (Entries{{60, 1, 503}, {60, 0, 536}, {62, 1, 598}}));
}

TEST(NoteList, ExtractingTwiceGivesTheSameList)
{
    // The first note comes before the tempo change: a second extraction that
    // kept the last tempo would time it differently.
    MidiFile file;
    testing::internal::CaptureStdout();
    file.loadBytes(SmfBuilder().track().noteOn(96, 0, 60, 1).tempo(96, 400000).noteOn(96, 0, 62, 1).end().bytes(), "t.mid");
    const NoteList first = extractNotes(file, {});
    const NoteList second = extractNotes(file, {});
    testing::internal::GetCapturedStdout();
    // Ticks 96 at 120 bpm and 288 at 150 bpm, 480 ticks per quarter.
    const Entries expected{{60, 1, 600}, {62, 1, 740}};
    EXPECT_EQ(first.entries, expected);
    EXPECT_EQ(second.entries, expected);
}

struct BadTempoCase {
    const char* name;
    std::vector<int> tempoEvent;
};

class NoteListRefusesTempo : public testing::TestWithParam<BadTempoCase> {};

TEST_P(NoteListRefusesTempo, StopsWithAMessageInsteadOfDividingByZero)
{
    SmfBuilder song;
    song.track().noteOn(0, 0, 60, 1).delta(96);
    for (int b : GetParam().tempoEvent) {
        song.raw({b});
    }
    const auto result = extract(song.noteOn(0, 0, 62, 1).end().bytes());
    ASSERT_FALSE(result.notes.ok());
    EXPECT_EQ(*result.notes.error, "Error: invalid tempo event at tick 96");
}

INSTANTIATE_TEST_SUITE_P(Cases, NoteListRefusesTempo,
                         testing::Values(BadTempoCase{"ZeroMicroseconds", {0xFF, 0x51, 0x03, 0, 0, 0}},
                                         BadTempoCase{"TwoDataBytes", {0xFF, 0x51, 0x02, 0x07, 0xA1}},
                                         BadTempoCase{"NoDataBytes", {0xFF, 0x51, 0x00}}),
                         [](const testing::TestParamInfo<BadTempoCase>& param) { return param.param.name; });

TEST(NoteList, TimeBeyondThirtyTwoBitsIsAnErrorNotAnOverflow)
{
    // The slowest tempo and a tick near 2^31 at one tick per quarter.
    SmfBuilder song(1, 1);
    song.track().tempo(0, 0xFFFFFF).delta(0x0FFFFFFF).raw({0x90, 60, 1});
    for (int i = 0; i < 7; ++i) {
        song.delta(0x0FFFFFFF).raw({0x90, 60, 1});
    }
    const auto result = extract(song.end().bytes());
    ASSERT_FALSE(result.notes.ok());
    EXPECT_EQ(result.notes.error->rfind("Error: note time out of range at tick ", 0), 0U);
}

TEST(NoteList, ConcurrentExtractionsKeepTheirOwnTempo)
{
    MidiFile slow;
    MidiFile fast;
    testing::internal::CaptureStdout();
    slow.loadBytes(SmfBuilder(1, 480).track().tempo(0, 1000000).noteOn(480, 0, 60, 1).end().bytes(), "slow.mid");
    fast.loadBytes(SmfBuilder(1, 480).track().tempo(0, 250000).noteOn(480, 0, 60, 1).end().bytes(), "fast.mid");
    NoteList slowNotes;
    NoteList fastNotes;
    for (int round = 0; round < 50; ++round) {
        std::thread other([&] { slowNotes = extractNotes(slow, {}); });
        fastNotes = extractNotes(fast, {});
        other.join();
        ASSERT_EQ(slowNotes.entries, (Entries{{60, 1, 1500}}));
        ASSERT_EQ(fastNotes.entries, (Entries{{60, 1, 750}}));
    }
    testing::internal::GetCapturedStdout();
}

struct StopCase {
    const char* name;
    bool raised;
};

class NoteListWithStopFlag : public testing::TestWithParam<StopCase> {};

TEST_P(NoteListWithStopFlag, RaisedEndsWithNothingAndUnraisedChangesNothing)
{
    MidiFile file;
    testing::internal::CaptureStdout();
    file.loadBytes(bigSong(2, 20000), "t.mid");
    file.mergeTracks();
    PlaybackOptions options;
    options.playChannel = 1;
    const NoteList plain = extractNotes(file, options);
    const std::atomic<bool> stop{GetParam().raised};
    const NoteList watched = extractNotes(file, options, &stop);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(plain.entries.size(), 40000U);
    EXPECT_EQ(watched.stopped, GetParam().raised);
    EXPECT_EQ(watched.ok(), !GetParam().raised);
    EXPECT_EQ(watched.entries, GetParam().raised ? Entries{} : plain.entries);
}

INSTANTIATE_TEST_SUITE_P(Cases, NoteListWithStopFlag,
                         testing::Values(StopCase{"Raised", true}, StopCase{"NotRaised", false}),
                         [](const testing::TestParamInfo<StopCase>& param) { return param.param.name; });

}  // namespace
