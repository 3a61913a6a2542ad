#include "jack/JackClientClose.h"
#include "jack/JackMidiQueue.h"
#include "jack/ProcessCycles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = ProcessCycles::Clock;
using namespace std::chrono_literals;

// A stand-in for the JACK process thread: runs cycles until stopped, each
// draining the queue into a port buffer with room for `room` bytes.
class FakeProcessThread {
public:
    FakeProcessThread(ProcessCycles& cycles, std::atomic<JackMidiQueue*>& slot, std::size_t room)
        : m_thread([this, &cycles, &slot, room] {
              while (!m_stop.load()) {
                  cycles.enterCycle();
                  if (JackMidiQueue* queue = slot.load()) {
                      std::size_t used = 0;
                      queue->drain([&](std::size_t length) -> std::uint8_t* {
                          if (used + length > room) {
                              return nullptr;
                          }
                          used += length;
                          received.emplace_back(length);
                          return received.back().data();
                      });
                  }
                  cycles.leaveCycle();
                  std::this_thread::sleep_for(50us);
              }
          })
    {
    }
    ~FakeProcessThread() { stop(); }
    // Ends the thread; `received` may be read from then on.
    void stop()
    {
        m_stop.store(true);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::vector<std::vector<std::uint8_t>> received;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Messages pushed faster than the cycles take them arrive complete and in
// order; once the queue is taken away and the callback is outside, no cycle
// reads it again.
TEST(ProcessCyclesThreadsTest, QueueHandsEveryMessageToTheCycleInOrderUntilTakenAway)
{
    ProcessCycles cycles;
    JackMidiQueue queue(64);
    std::atomic<JackMidiQueue*> slot{&queue};
    std::atomic<bool> abandon{false};
    std::vector<std::vector<std::uint8_t>> expected;
    {
        FakeProcessThread process(cycles, slot, 30);
        for (int index = 0; index < 3000; ++index) {
            const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(0x90 + index % 16),
                                           static_cast<std::uint8_t>(index % 128),
                                           static_cast<std::uint8_t>(index / 128)};
            const std::size_t length = 1 + static_cast<std::size_t>(index % 3);
            expected.emplace_back(bytes, bytes + length);
            const auto deadline = Clock::now() + 5s;
            while (!queue.push(bytes, length)) {
                ASSERT_TRUE(cycles.waitForCompleted(cycles.completed() + 1, deadline, abandon));
            }
        }
        while (!queue.empty()) {
            ASSERT_TRUE(cycles.waitForCompleted(cycles.completed() + 1, Clock::now() + 5s, abandon));
        }
        slot.store(nullptr);
        ASSERT_TRUE(cycles.waitUntilOutside(Clock::now() + 5s));
        const std::uint8_t late[3] = {0x80, 1, 1};
        ASSERT_TRUE(queue.push(late, 3));
        ASSERT_TRUE(cycles.waitForCompleted(cycles.completed() + 2, Clock::now() + 5s, abandon));
        EXPECT_FALSE(queue.empty()) << "no cycle takes from a queue once it is taken away";
        process.stop();
        EXPECT_EQ(process.received, expected);
    }
}

// A wait with no cycle coming ends soon after its abandon flag goes up, or
// after its deadline, however far off the other one is.
TEST(ProcessCyclesThreadsTest, EndedWaitReturnsFalseWellWithinASecond)
{
    for (const bool raiseAbandon : {true, false}) {
        ProcessCycles cycles;
        cycles.enterCycle();
        cycles.leaveCycle();
        std::atomic<bool> abandon{false};
        std::atomic<int> phase{0};  // 1 while waiting, 2 after
        std::thread raiser([&] {
            // The deadline's row raises it only for a wait that overstays.
            const auto at = Clock::now() + (raiseAbandon ? 0s : 2s);
            while (phase.load() == 0 || (phase.load() == 1 && Clock::now() < at)) {
                std::this_thread::sleep_for(1ms);
            }
            abandon.store(true);
        });
        const auto start = Clock::now();
        phase.store(1);
        EXPECT_FALSE(cycles.waitForCompleted(2, start + (raiseAbandon ? 20s : 30ms), abandon));
        const auto lasted = Clock::now() - start;
        phase.store(2);
        EXPECT_GE(lasted, raiseAbandon ? 0ms : 30ms);
        EXPECT_LT(lasted, 1s) << (raiseAbandon ? "abandoned" : "past its deadline");
        raiser.join();
    }
}

// A stand-in for a close call that returns at once, or one that blocks until
// the test lets it go (two seconds at most).
TEST(ProcessCyclesThreadsTest, FinishWithinReturnsWhenTheWorkEndsOrItsLimitPasses)
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
