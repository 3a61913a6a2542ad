#include "playback/AppState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A worker's pass that finds `paused` clear must find the resume request
// too; otherwise it plays on without shifting its start time and sends every
// note that fell due during the pause at once. A second thread looks at the
// two flags while Play is pressed again and again.
TEST(AppStateTest, ResumeRequestIsVisibleBeforePausedClears)
{
    // Resumes looked into.
    constexpr int kLooks = 20000;
    AppState state;
    // Odd while a resume is under way, even between them.
    std::atomic<int> round{0};
    std::atomic<bool> done{false};
    std::atomic<int> seenWithoutRequest{0};
    std::atomic<int> looks{0};
    std::thread watcher([&] {
        int lastLooked = 0;
        while (!done.load()) {
            const int before = round.load();
            const int paused = state.paused.load();
            const int requested = state.resumeRequested.load();
            if (before % 2 == 1 && round.load() == before) {
                if (before != lastLooked) {
                    lastLooked = before;
                    looks.fetch_add(1);
                }
                if (paused == 0 && requested == 0) {
                    seenWithoutRequest.fetch_add(1);
                }
            }
        }
    });
    // Until the watcher has looked often enough to catch a wrong order.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int i = 0; looks.load() < kLooks && std::chrono::steady_clock::now() < deadline; ++i) {
        state.paused.store(1);
        state.resumeRequested.store(0);
        round.store(2 * i + 1);
        state.requestResume();
        round.store(2 * i + 2);
    }
    done.store(true);
    watcher.join();
    EXPECT_GE(looks.load(), kLooks);
    EXPECT_EQ(seenWithoutRequest.load(), 0) << "in " << looks.load() << " resumes";
}

}  // namespace
