#include "jack/JackScheduleQueue.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <thread>

namespace {

// Every message due at once, into a buffer without limit.
struct AtOnce {
    std::deque<std::array<std::uint8_t, 3>> events;
    std::optional<std::uint32_t> frameOf(std::uint64_t) const { return 0U; }
    bool room(std::size_t) const { return true; }
    std::uint8_t* reserve(std::size_t, std::uint32_t) { return events.emplace_back().data(); }
};

// A take-back racing the callback's claims: each message, numbered by its
// data bytes, leaves once or is counted as taken back, in the order pushed.
TEST(JackScheduleQueueThreadsTest, EveryMessageLeavesOnceOrIsTakenBack)
{
    JackScheduleQueue queue(64);
    std::atomic<bool> stop{false};
    AtOnce cycle;
    std::thread callback([&] {
        for (; !stop.load(); std::this_thread::sleep_for(std::chrono::microseconds(20))) {
            queue.drain(cycle);
        }
    });
    std::size_t takenBack = 0;
    for (int i = 0; i < 16000; ++i) {
        const std::uint8_t bytes[3] = {0x90, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i / 128)};
        while (!queue.push(bytes, 3, 1)) {
            std::this_thread::yield();
        }
        takenBack += i % 7 == 6 ? queue.takeBack() : 0;
    }
    stop.store(true);
    callback.join();
    queue.drain(cycle);
    EXPECT_EQ(cycle.events.size() + takenBack, 16000U);
    EXPECT_GT(takenBack, 0U);
    for (std::size_t i = 1; i < cycle.events.size(); ++i) {
        ASSERT_LT(cycle.events[i - 1][1] + 128 * cycle.events[i - 1][2], cycle.events[i][1] + 128 * cycle.events[i][2]);
    }
}

}  // namespace
