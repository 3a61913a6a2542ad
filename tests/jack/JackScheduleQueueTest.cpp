#include "jack/JackScheduleQueue.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>

namespace {

// A cycle of 1024 frames at 48 kHz from 5 000 000 123 us, 21 333 us long,
// whose port buffer has room for `space` bytes.
struct Cycle {
    static constexpr std::uint64_t kStart = 5'000'000'123;
    static constexpr std::uint64_t kEnd = kStart + 21'333;
    std::size_t space;
    std::deque<std::pair<std::uint32_t, std::array<std::uint8_t, 3>>> events;

    std::optional<std::uint32_t> frameOf(std::uint64_t due) const { return frameInCycle(due, kStart, kEnd, 1024); }
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
    push(61, Cycle::kStart + 10'000);  // 480.01: frame 480, and two due together
    push(62, Cycle::kStart + 10'000);
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

}  // namespace
