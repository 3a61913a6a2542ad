#include "base/ChangeSignal.h"
#include "base/WorkerOwner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

namespace {

using std::chrono::steady_clock;

TEST(ChangeSignal, ChangesAlreadySeenDoNotEndAWaitAndANewOneDoes)
{
    ChangeSignal signal;
    for (int i = 0; i < 3; ++i) {
        signal.notify();
    }
    const std::uint64_t seen = signal.count();
    EXPECT_EQ(seen, 3U);
    // Three posts are pending, all for changes seen: the wait runs to its deadline.
    EXPECT_FALSE(signal.waitUntil(seen, steady_clock::now() - std::chrono::milliseconds(1)));
    EXPECT_TRUE(signal.waitUntil(seen - 1, steady_clock::now() - std::chrono::milliseconds(1)));
}

// A worker that waits for changes until its stop flag is raised, and reports
// its end by generation, as the panel's workers do.
struct Waiter {
    ChangeSignal changes;
    std::atomic<bool> stop{false};
    std::vector<WorkerOwner::Generation> ended;  // owner's thread only, after a join
    WorkerOwner owner{[this] {
        stop.store(true);
        changes.notify();
    }};

    void start()
    {
        // Lowered only once the worker before has been joined, as Play does.
        owner.stopAndJoin();
        stop.store(false);
        owner.start([this](WorkerOwner::Generation generation) {
            for (std::uint64_t seen = changes.count(); !stop.load(); seen = changes.count()) {
                changes.wait(seen);
            }
            ended.push_back(generation);
        });
    }
};

TEST(WorkerOwner, EndOfAnEarlierGenerationLeavesTheNewerWorkerRunning)
{
    Waiter waiter;
    waiter.start();
    waiter.start();  // the first is stopped and joined first
    EXPECT_EQ(waiter.owner.generation(), 2U);
    EXPECT_EQ(waiter.ended, std::vector<WorkerOwner::Generation>{1});
    EXPECT_FALSE(waiter.owner.joinEnded(1));
    EXPECT_TRUE(waiter.owner.running());
    waiter.owner.stopAndJoin();
    EXPECT_FALSE(waiter.owner.running());
    EXPECT_EQ(waiter.ended, (std::vector<WorkerOwner::Generation>{1, 2}));
    // The current generation's own report, after the join, is still its end.
    EXPECT_TRUE(waiter.owner.joinEnded(2));
}

}  // namespace
