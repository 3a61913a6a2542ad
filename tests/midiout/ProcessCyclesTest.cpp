#include "midiout/ProcessCycles.h"

#include <gtest/gtest.h>

namespace {

using Clock = ProcessCycles::Clock;

TEST(ProcessCyclesTest, CountsOnlyCompletedCyclesAndWaitsEndAtTheirLimits)
{
    ProcessCycles cycles;
    std::atomic<bool> abandon{false};
    const auto past = Clock::now();
    const auto later = Clock::now() + std::chrono::seconds(5);
    for (int cycle = 0; cycle < 3; ++cycle) {
        cycles.enterCycle();
        cycles.leaveCycle();
    }
    cycles.enterCycle();
    EXPECT_EQ(cycles.completed(), 3U) << "the running cycle is not counted";
    EXPECT_FALSE(cycles.waitUntilOutside(past)) << "a cycle is running";
    EXPECT_TRUE(cycles.waitForCompleted(3, past, abandon)) << "reached: no wait";
    EXPECT_FALSE(cycles.waitForCompleted(4, past, abandon)) << "the deadline passed";
    abandon.store(true);
    EXPECT_FALSE(cycles.waitForCompleted(4, later, abandon)) << "abandoned";
    cycles.leaveCycle();
    EXPECT_EQ(cycles.completed(), 4U);
    EXPECT_TRUE(cycles.waitUntilOutside(past));
}

}  // namespace
