#include "midiout/JackScheduleQueue.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <string>

namespace {

// A cycle of 1024 frames at 48 kHz from 5 000 000 123 us: 21 333 us long.
constexpr std::uint64_t kStart = 5'000'000'123;
constexpr std::uint64_t kEnd = kStart + 21'333;

struct PlacementRow {
    std::uint64_t due;
    std::optional<std::uint32_t> frame;
};

TEST(JackScheduleQueueTest, MessageGoesAtTheFrameOfItsDueTimeOrAtZeroWhenLate)
{
    const PlacementRow rows[] = {
        {kStart + 10'000, 480U},  // 480.01...: the frame it falls in
        {kStart, 0U},             // the cycle's first frame
        {kEnd - 1, 1023U},        // its last
        {kEnd, std::nullopt},     // the next cycle's first frame
        {kStart - 7'000, 0U},     // already late
    };
    for (const PlacementRow& row : rows) {
        EXPECT_EQ(frameInCycle(row.due, kStart, kEnd, 1024), row.frame) << row.due - kStart;
    }
}

// One cycle's port buffer with room for `space` bytes.
struct Cycle {
    std::size_t space;
    std::deque<std::pair<std::uint32_t, std::array<std::uint8_t, 3>>> events;

    std::optional<std::uint32_t> frameOf(std::uint64_t due) const { return frameInCycle(due, kStart, kEnd, 1024); }
    bool room(std::size_t length) const { return length <= space; }
    std::uint8_t* reserve(std::size_t length, std::uint32_t frame)
    {
        space -= length;
        return events.emplace_back(frame, std::array<std::uint8_t, 3>{}).second.data();
    }
    // "frame:key" per event.
    std::string text() const
    {
        std::string out;
        for (const auto& [frame, bytes] : events) {
            out += (out.empty() ? "" : " ") + std::to_string(frame) + ":" + std::to_string(bytes[1]);
        }
        return out;
    }
};

void push(JackScheduleQueue& queue, std::uint8_t key, std::uint64_t due)
{
    const std::uint8_t bytes[3] = {0x90, key, 100};
    ASSERT_TRUE(queue.push(bytes, 3, due));
}

TEST(JackScheduleQueueTest, CycleWritesWhatFallsDueInItInOrderAndTakeBackCountsTheRest)
{
    JackScheduleQueue queue(16);
    push(queue, 60, kStart - 300);     // late
    push(queue, 61, kStart + 10'000);  // mid-cycle, and two due together
    push(queue, 62, kStart + 10'000);
    push(queue, 63, kEnd);             // the next cycle's
    push(queue, 64, kStart + 20'000);  // waits behind it
    Cycle full{7, {}};
    EXPECT_EQ(queue.drain(full), 2U) << "no room for a third";
    EXPECT_EQ(full.text(), "0:60 480:61");
    Cycle cycle{100, {}};
    EXPECT_EQ(queue.drain(cycle), 1U);
    EXPECT_EQ(cycle.text(), "480:62");
    EXPECT_EQ(queue.takeBack(), 2U);
    EXPECT_EQ(queue.takeBack(), 0U);
    push(queue, 65, kStart + 1);
    Cycle next{100, {}};
    EXPECT_EQ(queue.drain(next), 1U);
    EXPECT_EQ(next.text(), "0:65") << "what was taken back never leaves";
    EXPECT_TRUE(queue.empty());
}

}  // namespace
