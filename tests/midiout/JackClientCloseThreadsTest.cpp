#include "midiout/JackClientClose.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A stand-in for a close call that returns at once, or one that blocks until
// the test lets it go (two seconds at most).
TEST(JackClientCloseThreadsTest, WaitEndsWhenTheWorkEndsOrItsLimitPasses)
{
    for (const bool blocks : {true, false}) {
        auto letGo = std::make_shared<std::atomic<bool>>(false);
        auto finished = std::make_shared<std::atomic<bool>>(false);
        const auto start = Clock::now();
        const bool result = finishWithin(
            [=] {
                while (blocks && !letGo->load() && Clock::now() < start + 2s) {
                    std::this_thread::sleep_for(1ms);
                }
                finished->store(true);
            },
            blocks ? 50ms : 20s);
        const auto lasted = Clock::now() - start;
        EXPECT_EQ(finished->load(), !blocks);
        letGo->store(true);
        EXPECT_EQ(result, !blocks);
        EXPECT_GE(lasted, blocks ? 50ms : 0ms);
        EXPECT_LT(lasted, 1s) << (blocks ? "blocked" : "prompt");
    }
}

}  // namespace
