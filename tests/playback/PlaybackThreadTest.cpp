#include "PlaybackFixture.h"
#include "playback/PlaybackThread.h"

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Polls `predicate` until it holds or `timeout` passes.
template <class Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds timeout = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class PlaybackThreadTest : public PlaybackFixture {};

TEST_F(PlaybackThreadTest, PlaysAShortSongToTheEndAndSilencesTheCoil)
{
    // Eight notes 30 ticks apart at 480 ticks per quarter: a 250 ms song.
    SmfBuilder song(1, 480);
    song.track();
    for (int i = 0; i < 8; ++i) {
        song.noteOn(i == 0 ? 0 : 30, 0, 60 + i, 100);
    }
    useSong(song.end().bytes());
    std::thread worker(playbackThread, std::ref(state), std::ref(observer));
    ASSERT_TRUE(eventually([&] { return observer.hasFinished(); }));
    worker.join();
    Messages expected{controlChange(7, 31)};
    for (int i = 0; i < 8; ++i) {
        expected.push_back(noteOn(60 + i, 100));
    }
    expected.push_back(kAllSoundOff);
    for (int i = 0; i < 8; ++i) {
        expected.push_back(noteOn(60 + i, 0));
    }
    expected.push_back(kAllNotesOff);
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(state.playing.load(), 0);
    EXPECT_FALSE(m_service->isDeviceOpen(kController));
}

TEST_F(PlaybackThreadTest, StopWakesAPausedWorkerAtOnce)
{
    useSong(SmfBuilder().track().noteOn(0, 0, 60, 1).noteOn(48000, 0, 61, 1).end().bytes());
    std::thread worker(playbackThread, std::ref(state), std::ref(observer));
    ASSERT_TRUE(eventually([&] { return sent().size() == 2; }));
    state.paused.store(1);
    state.pauseStartPending.store(1);
    state.notifyChange();
    ASSERT_TRUE(eventually([&] { return sent().size() == 5; }));
    state.pendingVolume.store(10);
    state.notifyChange();
    ASSERT_TRUE(eventually([&] { return sent().size() == 6; }));
    state.playing.store(0);
    state.notifyChange();
    ASSERT_TRUE(eventually([&] { return observer.hasFinished(); }, 2000ms));
    worker.join();
    EXPECT_EQ(sent(), (Messages{controlChange(7, 31), noteOn(60, 1), kAllSoundOff, noteOn(60, 0), kAllNotesOff,
                                controlChange(7, 10), kAllSoundOff, kAllNotesOff}));
    EXPECT_EQ(state.paused.load(), 1);
}

TEST_F(PlaybackThreadTest, RefusedFileEndsTheWorkerWithItsStatus)
{
    useSong({'n', 'o', 'p', 'e'});
    testing::internal::CaptureStdout();
    playbackThread(state, observer);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(observer.hasFinished());
    ASSERT_EQ(observer.statuses().size(), 1U);
    EXPECT_EQ(observer.statuses()[0].rfind("File: ", 0), 0U);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
