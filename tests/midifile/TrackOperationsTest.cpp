#include "ReadHelpers.h"
#include "support/SmfBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

MidiEvent makeEvent(int tick, std::initializer_list<int> bytes)
{
    MidiEvent event;
    event.tick = tick;
    for (int b : bytes) {
        event.bytes.append(static_cast<std::uint8_t>(b));
    }
    return event;
}

TEST(CompareEvents, OrdersByTickThenChannelBeforeMetaThenEndOfTrackLast)
{
    const MidiEvent note = makeEvent(10, {0x90, 60, 1});
    const MidiEvent marker = makeEvent(10, {2, 2, 1});
    const MidiEvent tempo = makeEvent(10, {0xFF, 0x51, 3, 7, 0xA1, 0x20});
    const MidiEvent end = makeEvent(10, {0xFF, 0x2F, 0});
    const MidiEvent earlierMeta = makeEvent(9, {0xFF, 0x01, 0});

    EXPECT_EQ(MidiFile::compareEvents(earlierMeta, note), -1);
    EXPECT_EQ(MidiFile::compareEvents(note, earlierMeta), 1);
    EXPECT_EQ(MidiFile::compareEvents(note, tempo), -1);
    EXPECT_EQ(MidiFile::compareEvents(tempo, note), 1);
    EXPECT_EQ(MidiFile::compareEvents(tempo, end), -1);
    EXPECT_EQ(MidiFile::compareEvents(end, tempo), 1);
    EXPECT_EQ(MidiFile::compareEvents(note, marker), 0);
    EXPECT_EQ(MidiFile::compareEvents(end, end), -1);
}

TEST(TickConversion, DeltaThenAbsoluteRestoresTheTicksAndAbsoluteTwiceChangesNothing)
{
    MidiFile file;
    readInto(file, SmfBuilder().track().noteOn(3, 0, 60, 1).noteOff(4, 0, 60).noteOn(0, 0, 61, 1).end().bytes());
    const std::vector<int> absolute{3, 7, 7};
    ASSERT_EQ(ticksOf(file, 0), absolute);
    file.toAbsoluteTicks();
    EXPECT_EQ(ticksOf(file, 0), absolute);
    file.toDeltaTicks();
    EXPECT_EQ(file.tickModeOf(), MidiFile::DeltaTicks);
    EXPECT_EQ(ticksOf(file, 0), (std::vector<int>{3, 4, 0}));
    file.toAbsoluteTicks();
    EXPECT_EQ(ticksOf(file, 0), absolute);
}

TEST(MergeTracks, SingleTrackIsLeftUntouchedAndWalkedAsItIs)
{
    MidiFile file;
    // A tempo event before a note at the same tick: a sort would swap them.
    readInto(file, SmfBuilder(0).track().tempo(0, 500000).noteOn(0, 0, 60, 1).end().bytes());
    file.sortTracksForMerge();
    MergedEvents walk(file);
    EXPECT_EQ(walk.next()->byteOr(0), 0xFF);
    file.mergeTracks();
    EXPECT_EQ(messagesOf(file, 0)[0][0], 0xFF);
}

TEST(MergeTracks, JoinsAllTracksInTickOrderWithTiesInTrackOrder)
{
    MidiFile file;
    readInto(file, SmfBuilder()
                       .track().tempo(0, 500000).tempo(480, 400000).end()
                       .track().noteOn(0, 0, 60, 1).noteOn(480, 0, 62, 2).noteOn(0, 0, 64, 3).end()
                       .track().noteOn(0, 1, 70, 4).noteOn(240, 1, 71, 5).noteOn(240, 1, 72, 6).end()
                       .bytes());
    file.toAbsoluteTicks();
    file.mergeTracks();
    ASSERT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.trackLayoutOf(), MidiFile::SeparateTracks);
    EXPECT_EQ(ticksOf(file, 0), (std::vector<int>{0, 0, 0, 240, 480, 480, 480, 480}));
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{
                                       {0x90, 60, 1},
                                       {0x91, 70, 4},
                                       {0xFF, 0x51, 3, 0x07, 0xA1, 0x20},
                                       {0x91, 71, 5},
                                       {0x90, 62, 2},
                                       {0x90, 64, 3},
                                       {0x91, 72, 6},
                                       {0xFF, 0x51, 3, 0x06, 0x1A, 0x80},
                                   }));
    // A second merge has nothing to do.
    file.mergeTracks();
    EXPECT_EQ(file.eventCount(0), 8);
}

TEST(MergeTracks, EqualKeysKeepMergedOrderEvenWithinAnUnorderedTrack)
{
    // Track 0 holds a meta event before a channel message at the same tick;
    // sorting moves the channel message first, and the two text events of the
    // tracks stay in track order.
    MidiFile file;
    readInto(file, SmfBuilder()
                       .track().event(0, {0xFF, 0x01, 1, 'a'}).noteOn(0, 0, 60, 1).end()
                       .track().event(0, {0xFF, 0x01, 1, 'b'}).noteOn(0, 0, 61, 1).end()
                       .bytes());
    file.mergeTracks();
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{
                                       {0x90, 60, 1}, {0x90, 61, 1}, {0xFF, 0x01, 1, 'a'}, {0xFF, 0x01, 1, 'b'}}));
}

TEST(MergeTracks, AgreesWithAStableSortOfTheTracksOneAfterAnother)
{
    // Random tracks with many equal ticks, meta events between notes, and
    // now and then a tick going backwards (only hand-made events can do that).
    // Track counts on both sides of powers of two, and some tracks left
    // empty, for the tournament the merge plays between the tracks.
    std::mt19937 random(7);
    constexpr int kTrackCounts[] = {4, 2, 3, 5, 8, 9, 17};
    for (int round = 0; round < 21; ++round) {
        MidiFile file;
        MidiFile apart;  // walked in merge order instead
        SmfBuilder builder;
        for (int t = 0; t < kTrackCounts[round % std::size(kTrackCounts)]; ++t) {
            builder.track().end();
        }
        readInto(file, builder.bytes());
        readInto(apart, builder.bytes());
        std::vector<MidiEvent> concatenated;
        for (int t = 0; t < file.trackCount(); ++t) {
            int tick = 0;
            // Round 0's tracks are long enough to hand storage to the merged
            // track as they are taken.
            const int events = round == 0 ? 20000 : (random() % 4 == 0 ? 0 : 200);
            for (int i = 0; i < events; ++i) {
                tick += static_cast<int>(random() % 3) - (random() % 50 == 0 ? 5 : 0);
                const int kind = static_cast<int>(random() % 4);
                MidiEvent event = kind == 0   ? makeEvent(tick, {0xFF, 0x01, 1, t * 1000 + i})
                                  : kind == 1 ? makeEvent(tick, {0xFF, 0x2F, 0, t * 1000 + i})
                                              : makeEvent(tick, {0x90, t, i % 128, t * 1000 + i});
                file.track(t).append(event);
                apart.track(t).append(event);
                concatenated.push_back(event);
            }
        }
        std::stable_sort(concatenated.begin(), concatenated.end(), [](const MidiEvent& a, const MidiEvent& b) {
            // Two end-of-track events at one tick rank each before the other: equal here.
            return MidiFile::compareEvents(a, b) < 0 && !(a.tick == b.tick && a.isEndOfTrack() && b.isEndOfTrack());
        });
        apart.sortTracksForMerge();
        MergedEvents walk(apart);
        for (const MidiEvent& expected : concatenated) {
            const MidiEvent* walked = walk.next();
            ASSERT_NE(walked, nullptr);
            ASSERT_EQ(messageOf(*walked), messageOf(expected)) << "round " << round;
        }
        EXPECT_EQ(walk.next(), nullptr);
        file.mergeTracks();
        ASSERT_EQ(file.eventCount(0), static_cast<std::int32_t>(concatenated.size()));
        for (std::int32_t i = 0; i < file.eventCount(0); ++i) {
            ASSERT_EQ(file.eventAt(0, i).tick, concatenated[static_cast<std::size_t>(i)].tick) << "round " << round << " at " << i;
            ASSERT_EQ(messageOf(file.eventAt(0, i)), messageOf(concatenated[static_cast<std::size_t>(i)])) << "at " << i;
        }
    }
}

// Tracks the reader finds in order skip the sort before the merge; every way
// of changing a track afterwards, and a read that is out of order only in
// its ticks' sign, must still be sorted. Expected: the keys, merged.
struct SortBeforeMergeCase {
    const char* name;
    std::vector<std::uint8_t> file;
    void (*change)(MidiFile&);
    std::vector<int> keys;
};

void PrintTo(const SortBeforeMergeCase& row, std::ostream* out)
{
    *out << row.name;
}

class MergeSortsChangedTracks : public testing::TestWithParam<SortBeforeMergeCase> {};

TEST_P(MergeSortsChangedTracks, BeforeMerging)
{
    MidiFile file;
    readInto(file, GetParam().file);
    GetParam().change(file);
    file.mergeTracks();
    std::vector<int> keys;
    for (const auto& message : messagesOf(file, 0)) {
        keys.push_back(message.at(1));
    }
    EXPECT_EQ(keys, GetParam().keys);
}

const std::vector<std::uint8_t> kTwoOrderedTracks = SmfBuilder()
                                                        .track().noteOn(0, 0, 60, 1).noteOn(300, 0, 61, 1).end()
                                                        .track().noteOn(0, 0, 70, 1).noteOn(100, 0, 71, 1).noteOn(100, 0, 72, 1).end()
                                                        .bytes();

// Eight deltas of 2^28 - 1 and one more carry the tick past 2^31 - 1, where
// it reads as negative and sorts first.
std::vector<std::uint8_t> tickPastTheSignBit()
{
    SmfBuilder builder;
    builder.track();
    for (int i = 0; i < 9; ++i) {
        builder.noteOn(0x0FFFFFFF, 0, 80 + i, 1);
    }
    return builder.end().track().noteOn(0, 0, 70, 1).end().bytes();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeSortsChangedTracks,
    testing::Values(
        SortBeforeMergeCase{"Unchanged", kTwoOrderedTracks, [](MidiFile&) {}, {60, 70, 71, 72, 61}},
        SortBeforeMergeCase{"ChangedThroughTrack", kTwoOrderedTracks, [](MidiFile& f) { f.track(1).at(0).tick = 250; },
                            {60, 71, 72, 70, 61}},
        SortBeforeMergeCase{"ChangedThroughEventAt", kTwoOrderedTracks, [](MidiFile& f) { f.eventAt(1, 0).tick = 250; },
                            {60, 71, 72, 70, 61}},
        SortBeforeMergeCase{"ReadOutOfOrderLateInTheTrack",
                            SmfBuilder()
                                .track().noteOn(0, 0, 60, 1).noteOn(100, 0, 61, 1).tempo(100, 500000).noteOn(0, 0, 62, 1).end()
                                .track().noteOn(0, 0, 70, 1).end()
                                .bytes(),
                            [](MidiFile&) {}, {60, 70, 61, 62, 0x51}},
        SortBeforeMergeCase{"ReadPastTheSignBit", tickPastTheSignBit(), [](MidiFile&) {},
                            {88, 70, 80, 81, 82, 83, 84, 85, 86, 87}}),
    [](const testing::TestParamInfo<SortBeforeMergeCase>& row) { return std::string(row.param.name); });

TEST(MergeTracks, FileInDeltaTicksComesBackInDeltaTicks)
{
    MidiFile file;
    readInto(file, SmfBuilder().track().noteOn(10, 0, 60, 1).end().track().noteOn(5, 0, 61, 1).noteOn(10, 0, 62, 1).end().bytes());
    file.toDeltaTicks();
    file.mergeTracks();
    EXPECT_EQ(file.tickModeOf(), MidiFile::DeltaTicks);
    EXPECT_EQ(ticksOf(file, 0), (std::vector<int>{5, 5, 5}));
}

TEST(MergeTracks, FileWithoutTracksEndsWithOneEmptyTrack)
{
    MidiFile file;
    readInto(file, SmfBuilder().bytes());
    file.mergeTracks();
    EXPECT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.eventCount(0), 0);
}

TEST(MergeTracks, ResetTracksLeavesExactlyOneEmptyTrack)
{
    MidiFile file;
    readInto(file, SmfBuilder().track().noteOn(0, 0, 60, 1).end().track().end().track().end().bytes());
    file.resetTracks();
    EXPECT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.eventCount(0), 0);
}

// A header may announce far more tracks than the file holds: the read fails
// at the first missing one, and every announced track is still there, empty.
TEST(TrackTable, AnnouncedTracksThatAreNeverReadCountAsEmptyAndMergeAway)
{
    MidiFile file;
    readInto(file, SmfBuilder().track().noteOn(4, 0, 60, 1).end().bytes(65535));
    ASSERT_EQ(file.trackCount(), 65535);
    EXPECT_EQ(file.eventCount(0), 1);
    EXPECT_EQ(file.eventCount(1), 0);
    EXPECT_EQ(file.eventCount(65534), 0);
    file.track(70).append(makeEvent(2, {0x91, 61, 1}));
    EXPECT_EQ(file.trackCount(), 65535);
    EXPECT_EQ(file.eventCount(70), 1);
    EXPECT_EQ(file.totalEventCount(), 2);
    file.mergeTracks();
    ASSERT_EQ(file.trackCount(), 1);
    EXPECT_EQ(ticksOf(file, 0), (std::vector<int>{2, 4}));
}

using MidiFileDeathTest = testing::Test;

TEST_F(MidiFileDeathTest, IndexesPastTheAnnouncedTracksEndTheProcessWithTheArrayMessage)
{
    MidiFile file;
    readInto(file, SmfBuilder().track().end().bytes(300));
    EXPECT_EXIT(file.eventCount(300), testing::ExitedWithCode(1), "^Error: accessing invalid array location 300 Maximum is 299\n$");
    EXPECT_EXIT(file.eventAt(299, 0), testing::ExitedWithCode(1), "^Error: accessing invalid array location 0 Maximum is -1\n$");
    EXPECT_EXIT(file.track(-1), testing::ExitedWithCode(1), "^Error: accessing invalid array location -1 Maximum is 299\n$");
}

TEST_F(MidiFileDeathTest, EventIndexPastTheEndEndsTheProcess)
{
    MidiFile file;
    readInto(file, SmfBuilder().track().noteOn(0, 0, 60, 1).end().bytes());
    EXPECT_EXIT(file.eventAt(0, 1), testing::ExitedWithCode(1), "^Error: accessing invalid array location 1 Maximum is 0\n$");
    EXPECT_EXIT(file.eventCount(1), testing::ExitedWithCode(1), "^Error: accessing invalid array location 1 Maximum is 0\n$");
}

}  // namespace
