#include "playback/AppState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A worker's pass that finds `paused` clear must find the resume request
// too; otherwise it plays on without shifting its start time and sends every
// note that fell due during the pause at once. A second thread looks at the
// two flags while Play is pressed again and again, until it has caught
// enough resumes half done.
TEST(AppStateTest, ResumeRequestIsVisibleBeforePausedClears)
{
    constexpr int kHalfDone = 20;
    AppState state;
    // Odd while a resume is under way, even between them; each resume is
    // counted once.
    std::atomic<int> round{0};
    std::atomic<bool> done{false};
    std::atomic<int> halfDone{0};
    std::atomic<int> unshifted{0};
    std::thread watcher([&] {
        int lastCaught = 0;
        while (!done.load()) {
            const int before = round.load();
            const int paused = state.paused.load();
            const int requested = state.resumeRequested.load();
            // Neither as before the resume (paused, no request) nor as after it.
            const bool between = paused != 1 || requested != 0;
            if (before % 2 == 1 && before != lastCaught && round.load() == before && between &&
                (paused != 0 || requested != 1)) {
                lastCaught = before;
                halfDone.fetch_add(1);
                unshifted.fetch_add(paused == 0 && requested == 0 ? 1 : 0);
            }
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int rounds = 0;
    for (; halfDone.load() < kHalfDone && std::chrono::steady_clock::now() < deadline; ++rounds) {
        state.paused.store(1);
        state.resumeRequested.store(0);
        round.store(2 * rounds + 1);
        state.requestResume();
        round.store(2 * rounds + 2);
    }
    done.store(true);
    watcher.join();
    EXPECT_EQ(unshifted.load(), 0) << "in " << halfDone.load() << " resumes caught half done of " << rounds;
}

}  // namespace
