#include "jack/ProcessCycles.h"

#include <gtest/gtest.h>

#include <tuple>

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

TEST(ProcessCyclesTest, WaitLimitIsFourPeriodsRoundedUpToAMicrosecondPlusTheMargin)
{
    using us = std::chrono::microseconds;
    // Frames, rate, margin, limit; a figure of 0 is a period of unknown length.
    const std::tuple<std::uint32_t, std::uint32_t, us, us> rows[] = {
        {64, 48000, us(100000), us(105334)}, {8192, 48000, us(100000), us(782667)}, {8192, 48000, us(0), us(682667)},
        {1024, 44100, us(100000), us(192880)}, {1024, 0, us(100000), us(4100000)}, {0, 48000, us(250), us(4000250)}};
    for (const auto& [frames, rate, margin, limit] : rows) {
        EXPECT_EQ(cycleWaitLimit(frames, rate, margin), limit) << frames << " frames at " << rate << " Hz";
    }
}

}  // namespace
