#include "midiout/JackClientClose.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A stand-in for a close call: returns at once, or blocks until the test lets
// it go (two seconds at most, so that a wait that does not give up still ends).
struct StandIn {
    std::mutex mutex;
    std::condition_variable released;
    bool letGo = false;
    std::atomic<bool> finished{false};
};

struct FinishRow {
    const char* name;
    bool blocks;
    std::chrono::milliseconds limit;
    bool expected;
    std::chrono::milliseconds lastsAtLeast;
};
void PrintTo(const FinishRow& row, std::ostream* out) { *out << row.name; }

class FinishWithinTest : public testing::TestWithParam<FinishRow> {};

TEST_P(FinishWithinTest, ReturnsWhenTheWorkEndsOrItsLimitPasses)
{
    const FinishRow& row = GetParam();
    auto standIn = std::make_shared<StandIn>();
    const auto start = Clock::now();
    const bool result = finishWithin(
        [standIn, blocks = row.blocks] {
            if (blocks) {
                std::unique_lock lock(standIn->mutex);
                standIn->released.wait_for(lock, 2s, [&] { return standIn->letGo; });
            }
            standIn->finished.store(true);
        },
        row.limit);
    const auto lasted = Clock::now() - start;
    EXPECT_EQ(result, row.expected);
    EXPECT_EQ(standIn->finished.load(), row.expected);
    EXPECT_GE(lasted, row.lastsAtLeast);
    EXPECT_LT(lasted, 1s);
    {
        const std::lock_guard lock(standIn->mutex);
        standIn->letGo = true;
    }
    standIn->released.notify_all();
}

INSTANTIATE_TEST_SUITE_P(Rows, FinishWithinTest,
                         testing::Values(FinishRow{"BlockedCloseIsLeftBehind", true, 50ms, false, 50ms},
                                         FinishRow{"PromptCloseIsWaitedFor", false, 20s, true, 0ms}),
                         [](const testing::TestParamInfo<FinishRow>& test) { return test.param.name; });

}  // namespace
