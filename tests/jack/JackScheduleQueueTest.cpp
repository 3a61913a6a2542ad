#include "jack/JackScheduleQueue.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>

namespace {

// A cycle of `frames` at 48 kHz from `start` (us), by default 1024 (21 333.3 us)
// from 5 000 000 123 us, whose port buffer has room for `space` bytes.
struct Cycle {
    static constexpr std::uint64_t kStart = 5'000'000'123;
    static constexpr std::uint64_t kEnd = kStart + 21'334;
    std::size_t space;
    std::deque<std::pair<std::uint32_t, std::array<std::uint8_t, 3>>> events;
    std::uint64_t start = kStart;
    std::uint32_t frames = 1024;

    std::optional<std::uint32_t> frameOf(std::uint64_t due) const { return frameInCycle(due, start, frames, 48000); }
    bool room(std::size_t length) const { return length <= space; }
    std::uint8_t* reserve(std::size_t length, std::uint32_t frame)
    {
        space -= length;
        return events.emplace_back(frame, std::array<std::uint8_t, 3>{}).second.data();
    }
    // "frame:key" per event written.
    std::string drained(JackScheduleQueue& queue)
    {
        std::string out = std::to_string(queue.drain(*this)) + " written:";
        for (const auto& [frame, bytes] : events) {
            out += " " + std::to_string(frame) + ":" + std::to_string(bytes[1]);
        }
        return out;
    }
};

TEST(JackScheduleQueueTest, CycleWritesEachMessageAtItsFrameAndTakeBackCountsWhatIsLeft)
{
    JackScheduleQueue queue(16);
    const auto push = [&queue](std::uint8_t key, std::uint64_t due) {
        const std::uint8_t bytes[3] = {0x90, key, 100};
        ASSERT_TRUE(queue.push(bytes, 3, due));
    };
    push(60, Cycle::kStart - 7'000);   // late: frame 0
    push(61, Cycle::kStart + 10'010);  // 480.48: frame 480, and two due together
    push(62, Cycle::kStart + 10'010);
    push(63, Cycle::kEnd - 1);         // the last frame
    push(64, Cycle::kEnd);             // the next cycle's first frame
    push(65, Cycle::kStart + 20'000);  // waits behind it
    EXPECT_EQ((Cycle{7, {}}.drained(queue)), "2 written: 0:60 480:61") << "no room for a third";
    EXPECT_EQ((Cycle{100, {}}.drained(queue)), "2 written: 480:62 1023:63");
    EXPECT_EQ(queue.takeBack(), 2U);
    EXPECT_EQ(queue.takeBack(), 0U);
    push(66, Cycle::kStart);
    EXPECT_EQ((Cycle{100, {}}.drained(queue)), "1 written: 0:66") << "what was taken back never leaves";
    EXPECT_TRUE(queue.empty());
}

TEST(JackScheduleQueueTest, ACallbackThatBeginsLateTakesWhatFellDueMeanwhileAtFrameZeroAndCostsNoOtherCycle)
{
    // 10 ms cycles (480 frames); a message every 3.7 ms from 1.31 ms after the first callback, key 99 a
    // cycle after it; callbacks a cycle apart, one 30 ms late (an xrun), one 0.7 ms after it, one a cycle on.
    constexpr std::uint64_t kT0 = 9'000'000'017;
    JackScheduleQueue queue(32);
    for (std::uint8_t key = 0; key < 19; ++key) {
        const std::uint8_t bytes[3] = {0x90, key, 100}, between[3] = {0x90, 99, 100};
        ASSERT_TRUE(key != 3 || queue.push(between, 3, kT0 + 10'000));
        ASSERT_TRUE(queue.push(bytes, 3, kT0 + 1'310 + key * 3'700ULL));
    }
    const std::pair<std::uint64_t, std::string> cycles[] = {
        {kT0, "3 written: 62:0 240:1 418:2"},
        {kT0 + 10'000, "4 written: 0:99 115:3 293:4 470:5"},
        {kT0 + 50'000, "10 written: 0:6 0:7 0:8 0:9 0:10 0:11 0:12 0:13 149:14 326:15"},
        {kT0 + 50'700, "1 written: 470:16"},
        {kT0 + 60'700, "2 written: 168:17 346:18"},
    };
    for (const auto& [start, drained] : cycles) {
        EXPECT_EQ((Cycle{100, {}, start, 480}.drained(queue)), drained) << start - kT0;
    }
    EXPECT_EQ(frameInCycle(kT0 + 1, kT0, 480, 0), std::nullopt) << "an unknown rate";
    EXPECT_EQ(frameInCycle(kT0, kT0, 480, 0), 0U) << "an unknown rate";
}

}  // namespace
