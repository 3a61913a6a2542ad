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

struct WaitLimitRow {
    std::uint32_t periodFrames;
    std::uint32_t sampleRate;
    std::chrono::microseconds margin;
    std::chrono::microseconds expected;
};

TEST(ProcessCyclesTest, WaitLimitIsFourPeriodsRoundedUpToAMicrosecondPlusTheMargin)
{
    using std::chrono::microseconds;
    const WaitLimitRow rows[] = {
        {64, 48000, microseconds(100000), microseconds(105334)},    // 4 x 1333.33 us
        {8192, 48000, microseconds(100000), microseconds(782667)},  // 4 x 170666.67 us
        {8192, 48000, microseconds(0), microseconds(682667)},
        {1024, 44100, microseconds(100000), microseconds(192880)},  // 4 x 23219.95 us
        {1024, 0, microseconds(100000), microseconds(4100000)},     // rate unknown
        {0, 48000, microseconds(250), microseconds(4000250)},       // period unknown
    };
    for (const WaitLimitRow& row : rows) {
        EXPECT_EQ(cycleWaitLimit(row.periodFrames, row.sampleRate, row.margin), row.expected)
            << row.periodFrames << " frames at " << row.sampleRate << " Hz, margin " << row.margin.count() << " us";
    }
}

}  // namespace
