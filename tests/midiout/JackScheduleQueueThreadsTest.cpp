#include "midiout/JackScheduleQueue.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Every message due at once, numbered by its two data bytes.
struct NumberingCycle {
    std::vector<int>& numbers;
    std::array<std::uint8_t, 3> bytes{};
    bool pending = false;

    std::optional<std::uint32_t> frameOf(std::uint64_t) const { return 0U; }
    bool room(std::size_t) const { return true; }
    std::uint8_t* reserve(std::size_t, std::uint32_t)
    {
        flush();
        pending = true;
        return bytes.data();
    }
    void flush()
    {
        if (pending) {
            numbers.push_back(bytes[1] + 128 * bytes[2]);
        }
        pending = false;
    }
};

void drainInto(JackScheduleQueue& queue, std::vector<int>& numbers)
{
    NumberingCycle cycle{numbers};
    queue.drain(cycle);
    cycle.flush();
}

// A take-back racing the callback's claims: each message leaves once or is
// counted as taken back, in the order pushed.
TEST(JackScheduleQueueThreadsTest, EveryMessageLeavesOnceOrIsTakenBack)
{
    constexpr int kMessages = 16000;
    JackScheduleQueue queue(64);
    std::atomic<bool> stop{false};
    std::vector<int> written;
    std::thread callback([&] {
        while (!stop.load()) {
            drainInto(queue, written);
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    std::size_t takenBack = 0;
    for (int i = 0; i < kMessages; ++i) {
        const std::uint8_t bytes[3] = {0x90, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i / 128)};
        while (!queue.push(bytes, 3, 1)) {
            std::this_thread::yield();
        }
        if (i % 7 == 6) {
            takenBack += queue.takeBack();
        }
    }
    stop.store(true);
    callback.join();
    drainInto(queue, written);
    EXPECT_EQ(written.size() + takenBack, std::size_t{kMessages});
    EXPECT_GT(takenBack, 0U);
    for (std::size_t i = 1; i < written.size(); ++i) {
        ASSERT_LT(written[i - 1], written[i]) << i;
    }
}

}  // namespace
