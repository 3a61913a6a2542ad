#include "jack/JackScheduleQueue.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>

namespace {

// A cycle of 1024 frames at 48 kHz (21 333 333.3 ns) whose callback began at
// `start` (ns), whose port buffer has room for `space` bytes.
struct Cycle {
    static constexpr std::uint64_t kStart = 5'000'000'123'000;
    static constexpr std::uint64_t kEnd = kStart + 21'333'334;  // the next cycle's first frame
    std::uint64_t start;
    std::size_t space;
    std::deque<std::pair<std::uint32_t, std::array<std::uint8_t, 3>>> events;

    std::optional<std::uint32_t> frameOf(std::uint64_t due) const { return frameInCycle(due, start, 1024, 48000); }
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
    push(60, Cycle::kStart - 7'000'000);   // late: frame 0
    push(61, Cycle::kStart + 10'000'100);  // 480.005: frame 480, and two due together
    push(62, Cycle::kStart + 10'000'100);
    push(63, Cycle::kEnd - 1);             // 1023.99998: the last frame
    push(64, Cycle::kEnd);                 // the next cycle's first frame
    push(65, Cycle::kStart + 20'000'000);  // waits behind it
    EXPECT_EQ((Cycle{Cycle::kStart, 7, {}}.drained(queue)), "2 written: 0:60 480:61") << "no room for a third";
    EXPECT_EQ((Cycle{Cycle::kStart, 100, {}}.drained(queue)), "2 written: 480:62 1023:63");
    EXPECT_EQ(queue.takeBack(), 2U);
    EXPECT_EQ(queue.takeBack(), 0U);
    push(66, Cycle::kStart);
    EXPECT_EQ((Cycle{Cycle::kStart, 100, {}}.drained(queue)), "1 written: 0:66") << "what was taken back never leaves";
    EXPECT_TRUE(queue.empty());
}

TEST(JackScheduleQueueTest, ACallbackThatBeginsLateTakesWhatFellDueMeanwhileAtFrameZeroAndCostsNoOtherCycle)
{
    // Messages every 7.3 ms from 1.31 ms after the first callback, and one
    // (key 99) due 94.4 ms after it. Callbacks a period apart, then one 30 ms
    // late (an xrun), one a millisecond after it, one a period after that.
    constexpr std::uint64_t kT0 = 9'000'000'017'000;
    constexpr std::uint64_t kPeriod = 21'333'333;
    constexpr std::uint64_t kLate = kT0 + 2 * kPeriod + 30'000'000;
    JackScheduleQueue queue(32);
    for (std::uint8_t key = 0; key < 16; ++key) {
        const std::uint8_t bytes[3] = {0x90, key, 100};
        ASSERT_TRUE(queue.push(bytes, 3, kT0 + 1'310'000 + key * 7'300'000ULL));
        const std::uint8_t between[3] = {0x90, 99, 100};
        ASSERT_TRUE(key != 12 || queue.push(between, 3, kT0 + 94'400'000));
    }
    const std::pair<std::uint64_t, std::string> cycles[] = {
        {kT0, "3 written: 62:0 413:1 763:2"},
        {kT0 + kPeriod, "3 written: 90:3 440:4 790:5"},
        {kLate, "7 written: 0:6 0:7 0:8 0:9 78:10 429:11 779:12"},
        {kLate + 1'000'000, "1 written: 995:99"},
        {kLate + 1'000'000 + kPeriod, "3 written: 58:13 408:14 758:15"},
    };
    for (const auto& [start, drained] : cycles) {
        EXPECT_EQ((Cycle{start, 100, {}}.drained(queue)), drained) << start - kT0;
    }
}

TEST(JackScheduleQueueTest, AMessageAWholeCycleAheadOrAtAnUnknownRateWaitsForALaterCycle)
{
    constexpr std::uint64_t kStart = 3'000'000'000'777;  // 480 frames at 48 kHz: exactly 10 ms
    EXPECT_EQ(frameInCycle(kStart + 9'999'999, kStart, 480, 48000), 479U);
    EXPECT_EQ(frameInCycle(kStart + 10'000'000, kStart, 480, 48000), std::nullopt);
    EXPECT_EQ(frameInCycle(kStart - 1, kStart, 480, 0), 0U);
    EXPECT_EQ(frameInCycle(kStart + 1, kStart, 480, 0), std::nullopt);
}

}  // namespace
