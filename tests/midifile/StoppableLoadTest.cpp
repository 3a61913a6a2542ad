#include "ReadHelpers.h"
#include "support/BigSong.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& song()
{
    static const Bytes bytes = bigSong(4, 60000);
    return bytes;
}

// Every tick and message byte of a track, flattened: a cheap exact comparison
// for a track of a hundred thousand events.
std::vector<std::int64_t> flattened(const MidiFile& file, int track)
{
    std::vector<std::int64_t> out;
    out.reserve(static_cast<std::size_t>(file.eventCount(track)) * 5);
    for (const MidiEvent& event : file.track(track)) {
        out.push_back(event.tick);
        out.push_back(-event.size());
        out.insert(out.end(), event.bytes.begin(), event.bytes.end());
    }
    return out;
}

std::int64_t totalEvents(const MidiFile& file)
{
    std::int64_t total = 0;
    for (std::int32_t t = 0; t < file.trackCount(); ++t) {
        total += file.eventCount(t);
    }
    return total;
}

TEST(StoppableRead, UnraisedFlagReadsAndMergesExactlyAsNoFlag)
{
    const std::atomic<bool> stop{false};
    MidiFile plain;
    MidiFile watched;
    ASSERT_TRUE(plain.loadBytes(song(), "t.mid")) << plain.readResult().firstDiagnostic();
    ASSERT_TRUE(watched.loadBytes(song(), "t.mid", &stop));
    ASSERT_EQ(watched.trackCount(), 4);
    for (int t = 0; t < 4; ++t) {
        ASSERT_EQ(flattened(watched, t), flattened(plain, t));
    }
    plain.mergeTracks();
    EXPECT_TRUE(watched.mergeTracks(&stop));
    EXPECT_EQ(watched.eventCount(0), 4 * 120000 + 1);
    EXPECT_EQ(flattened(watched, 0), flattened(plain, 0));
}

TEST(StoppableRead, FlagRaisedBeforehandStopsAtTheFirstTrackWithoutALine)
{
    const std::atomic<bool> stop{true};
    MidiFile file;
    bool ok = true;
    PrintedLines printed;
    ok = file.loadBytes(song(), "t.mid", &stop, printed);
    EXPECT_EQ(printed.text, "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(file.readResult().status, ReadResult::Status::Stopped);
    EXPECT_TRUE(file.readResult().diagnostics.empty());
    // The header was read: the track table is there, with nothing in it.
    EXPECT_EQ(file.trackCount(), 4);
    EXPECT_EQ(totalEvents(file), 0);
    EXPECT_EQ(file.ticksPerQuarter(), 384);
}

TEST(StoppableRead, FlagRaisedWhileReadingEndsTheReadBeforeTheEnd)
{
    std::atomic<bool> stop{false};
    MidiFile file;
    std::thread reader([&] { file.loadBytes(song(), "t.mid", &stop); });
    stop.store(true);
    reader.join();
    EXPECT_EQ(file.readResult().status, ReadResult::Status::Stopped);
    EXPECT_LT(totalEvents(file), 4 * 120000);
}

struct StoppedMergeCase {
    const char* name;
    MidiFile::TickMode mode;
};

class StoppableMerge : public testing::TestWithParam<StoppedMergeCase> {};

TEST_P(StoppableMerge, FlagRaisedBeforehandDropsTheEventsAndKeepsTheTickMode)
{
    MidiFile file;
    readInto(file, song());
    if (GetParam().mode == MidiFile::DeltaTicks) {
        file.toDeltaTicks();
    }
    const std::atomic<bool> stop{true};
    EXPECT_FALSE(file.mergeTracks(&stop));
    EXPECT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.eventCount(0), 0);
    EXPECT_EQ(file.tickModeOf(), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(Cases, StoppableMerge,
                         testing::Values(StoppedMergeCase{"Absolute", MidiFile::AbsoluteTicks},
                                         StoppedMergeCase{"Delta", MidiFile::DeltaTicks}),
                         [](const testing::TestParamInfo<StoppedMergeCase>& param) { return param.param.name; });

TEST(StoppableMerge, FlagRaisedWhileMergingEndsIt)
{
    MidiFile file;
    readInto(file, song());
    std::atomic<bool> stop{false};
    bool merged = true;
    std::thread merger([&] { merged = file.mergeTracks(&stop); });
    stop.store(true);
    merger.join();
    EXPECT_FALSE(merged);
    EXPECT_EQ(file.eventCount(0), 0);
}

}  // namespace
