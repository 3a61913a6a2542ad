#include "jack/JackMidiQueue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Message = std::vector<std::uint8_t>;

// One process cycle's port buffer with room for `room` bytes.
struct Cycle {
    explicit Cycle(std::size_t room) : bytes(room) {}
    std::vector<std::uint8_t> bytes;
    std::size_t used = 0;
    std::vector<Message> events;

    std::uint8_t* reserve(std::size_t length)
    {
        if (used + length > bytes.size()) {
            return nullptr;
        }
        used += length;
        events.emplace_back(length);
        return events.back().data();
    }
};

std::vector<Message> drainCycle(JackMidiQueue& queue, std::size_t room)
{
    Cycle cycle(room);
    const std::size_t moved = queue.drain([&cycle](std::size_t length) { return cycle.reserve(length); });
    EXPECT_EQ(moved, cycle.events.size());
    return cycle.events;
}

TEST(JackMidiQueueTest, CyclesTakeTheMessagesInOrderAsFarAsTheirRoomGoes)
{
    JackMidiQueue queue(16);
    ASSERT_TRUE(queue.valid());
    const std::vector<Message> sent{{0x90, 60, 100}, {0xC3, 5}, {0xF8}, {0xB0, 120, 0}, {0xD1, 40}};
    for (const Message& message : sent) {
        ASSERT_TRUE(queue.push(message.data(), message.size()));
    }
    // Room for 7 bytes: the first three messages (3 + 2 + 1); the fourth waits.
    EXPECT_EQ(drainCycle(queue, 7), (std::vector<Message>{sent[0], sent[1], sent[2]}));
    EXPECT_FALSE(queue.empty());
    EXPECT_EQ(drainCycle(queue, 2), std::vector<Message>{}) << "a message is never split or skipped";
    EXPECT_EQ(drainCycle(queue, 100), (std::vector<Message>{sent[3], sent[4]}));
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(drainCycle(queue, 100), std::vector<Message>{});
}

TEST(JackMidiQueueTest, RefusesWhatIsNotAShortMessageAndWhatDoesNotFit)
{
    JackMidiQueue queue(5);
    const std::uint8_t bytes[4] = {0x90, 1, 2, 3};
    EXPECT_FALSE(queue.push(bytes, 0));
    EXPECT_FALSE(queue.push(bytes, 4));
    EXPECT_TRUE(queue.empty());

    int pushed = 0;
    while (pushed < 100 && queue.push(bytes, 3)) {
        ++pushed;
    }
    EXPECT_GE(pushed, 5) << "room for at least the capacity asked for";
    EXPECT_LT(pushed, 100);
    EXPECT_EQ(drainCycle(queue, 3).size(), 1U);
    EXPECT_TRUE(queue.push(bytes, 2)) << "a drained message makes room";
    EXPECT_FALSE(queue.push(bytes, 2));
}

}  // namespace
