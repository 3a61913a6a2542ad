#include "jack/CycleStart.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Nanoseconds from a non-zero moment; 64 frames at 48 kHz are 1 333 333.3 ns.
constexpr std::uint64_t kA = 7'000'000'000'123;

struct Wake { std::uint64_t at; std::uint32_t frames = 64; std::uint32_t rate = 48000; };  // at: after kA
struct Row { std::string name; std::vector<Wake> wakes; std::vector<std::uint64_t> starts; };

TEST(CycleStartTest, StartsLieOnTheGridOfTheEarliestWakeUpAndAStallOrALateWakeCountsItAnew)
{
    const Row rows[] = {
        // The grid is 50 us before the first wake-up, the next are 10, 80, 30, 600, 12 us late: at 10 us.
        {"jittered wake-ups",
         {{0}, {1'293'333}, {2'696'666}, {3'980'000}, {5'883'333}, {6'628'666}},
         {0, 1'293'333, 2'626'666, 3'960'000, 5'293'333, 6'626'666}},
        // Half a period late: on the grid; 0.7 ms late: counted anew; back on the old grid: moved there.
        {"wake-ups half a period late and more",
         {{0}, {1'999'999}, {3'366'666}, {4'000'000}},
         {0, 1'333'333, 3'366'666, 4'000'000}},
        // 96 kHz (64 frames are 666 666.7 ns): counted anew; no rate: each wake-up is its start.
        {"a new rate, or none",
         {{0}, {900'000, 64, 96000}, {1'586'666, 64, 96000}, {2'300'000, 64, 0}, {2'900'000, 64, 0}},
         {0, 900'000, 1'566'666, 2'300'000, 2'900'000}},
        // Cycles of 2^31 frames, 1 us late but one: past 2^33 frames (x 1e9 must fit 64 bits), counted anew.
        {"2^33 frames from the anchor",
         {{0, 1U << 31}, {44'739'242'667'666, 1U << 31}, {89'478'485'334'333, 1U << 31},
          {134'217'728'000'000, 1U << 31}, {178'956'970'667'666, 1U << 31}, {223'696'213'334'332, 1U << 31}},
         {0, 44'739'242'666'666, 89'478'485'333'333, 134'217'728'000'000, 178'956'970'666'666,
          223'696'213'334'332}},
        // 64 frames, then 128 and 32: each cycle's grid counts the frames before it.
        {"a new period", {{0}, {1'353'333, 128}, {4'000'100, 32}, {4'687'000}}, {0, 1'333'333, 4'000'000, 4'666'666}},
    };
    for (const Row& row : rows) {
        CycleStart start;
        std::vector<std::uint64_t> starts;
        for (const Wake& wake : row.wakes) {
            starts.push_back(start.next(kA + wake.at, wake.frames, wake.rate) - kA);
        }
        EXPECT_EQ(starts, row.starts) << row.name;
    }
}

// Only a cycle that wakes more than one and a half periods (1 999 999 ns) after the one
// before follows a gap: not the first, not one late on the grid without a gap
// before it, not a new rate, not the cycle after a gap.
TEST(CycleStartTest, ACycleFollowsAGapWhenItWakesMoreThanOneAndAHalfPeriodsAfterTheLast)
{
    const std::vector<std::pair<std::vector<Wake>, std::vector<bool>>> rows{
        {{{0}, {1'333'333}, {3'333'333}, {4'666'666}}, {false, false, true, false}},
        {{{0}, {1'333'333}, {3'333'332}, {4'666'665}}, {false, false, false, false}},
        {{{0}, {1'999'999}, {3'366'666}}, {false, false, false}},
        {{{0}, {3'000'000, 64, 96000}, {9'000'000, 64, 0}, {12'000'000}}, {false, false, false, false}},
        {{{0}, {40'000'000}, {80'000'000}, {81'333'333}}, {false, true, true, false}},
    };
    for (const auto& [wakes, gaps] : rows) {
        CycleStart start;
        std::vector<bool> seen;
        for (const Wake& wake : wakes) {
            (void)start.next(kA + wake.at, wake.frames, wake.rate);
            seen.push_back(start.followsGap());
        }
        EXPECT_EQ(seen, gaps) << wakes.size() << " wake-ups, the last at " << wakes.back().at;
    }
}

TEST(CycleStartTest, AClockSlowerThanTheRateIsFollowedWithinSixteenCyclesAndAStallForgetsIt)
{
    // 500 ppm slower than 48 kHz: the grid keeps the earliest of the last 16 wake-ups, the oldest, so
    // trails by 15 cycles' drift at most. Then 40 ms without a cycle, and one 20 us late on the new grid.
    CycleStart start;
    std::vector<std::uint64_t> last;
    for (std::uint64_t cycle = 0; cycle < 20; ++cycle) {
        const std::uint64_t wake = cycle < 18 ? cycle * 1'334'000 : 62'678'000 + (cycle - 18) * 1'353'333;
        const std::uint64_t at = start.next(kA + wake, 64, 48000) - kA;
        if (cycle >= 14) {
            last.push_back(at);
        }
    }
    EXPECT_EQ(last, (std::vector<std::uint64_t>{18'666'666, 20'000'000, 21'334'000, 22'668'000, 62'678'000,
                                                64'011'333}));
}

}  // namespace
