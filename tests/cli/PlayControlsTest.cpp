#include "cli/PlayControls.h"
#include "cli/ProgressLine.h"
#include "cli/TerminalMode.h"
#include "playback/AppState.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(PlayKeys, EachKeyAsksForItsRequest)
{
    const std::vector<std::tuple<char, bool, KeyRequest>> rows{
        {' ', false, KeyRequest::Pause}, {' ', true, KeyRequest::Resume}, {'r', false, KeyRequest::Restart},
        {'R', true, KeyRequest::Restart}, {'q', true, KeyRequest::Stop},  {'Q', false, KeyRequest::Stop},
        {'p', false, KeyRequest::None},  {'\n', true, KeyRequest::None},
    };
    for (const auto& [key, paused, expected] : rows) {
        EXPECT_EQ(keyRequest(key, paused), expected) << int{key} << " paused " << paused;
    }
}

TEST(PlayProgressLine, BarAndTimesFollowThePosition)
{
    const std::vector<std::tuple<int, bool, double, std::string>> rows{
        {64, false, 125000.0, "\r[" + std::string(20, '#') + std::string(20, '-') + "] 1:02 / 2:05         "},
        {127, true, 59999.5, "\r[" + std::string(40, '#') + "] 0:59 / 0:59  paused "},
    };
    for (const auto& [position, paused, totalMs, expected] : rows) {
        EXPECT_EQ(progressLine(position, paused, totalMs), expected) << position;
    }
}

struct SuspendCase {
    const char* name;
    bool userPaused;
    // The coil's calls around the stop, with `paused` and `pauseStartPending` as each call found them.
    std::vector<std::string> calls;
};

class PlaySuspend : public testing::TestWithParam<SuspendCase> {};

TEST_P(PlaySuspend, CoilIsQuietWhileStoppedAndTheSongGoesOnAsTheUserLeftIt)
{
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(ends), 0);
    AppState state;
    state.playing.store(1);
    TerminalMode terminal(ends[0]);
    std::vector<std::string> calls;
    const auto flags = [&] { return std::to_string(state.paused.load()) + std::to_string(state.pauseStartPending.load()); };
    PlayControls controls(state, terminal, {[&] { calls.push_back("silence " + flags()); }, [&] { calls.push_back("restore " + flags()); }});
    if (GetParam().userPaused) {
        controls.press(' ');
        state.pauseStartPending.store(0);  // as the worker's pass serves it
    }
    controls.suspend();
    calls.push_back("stopped");
    controls.goOn();
    EXPECT_EQ(calls, GetParam().calls);
    EXPECT_EQ(state.paused.load(), GetParam().userPaused ? 1 : 0);
    EXPECT_EQ(state.resumeRequested.load(), GetParam().userPaused ? 0 : 1);
    EXPECT_EQ(controls.paused(), GetParam().userPaused);
    ::close(ends[0]);
    ::close(ends[1]);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlaySuspend,
                         testing::Values(SuspendCase{"WhilePlaying", false, {"silence 11", "stopped", "restore 11"}},
                                         SuspendCase{"WhilePausedByTheUser", true, {"silence 10", "stopped", "restore 10"}}),
                         [](const testing::TestParamInfo<SuspendCase>& param) { return param.param.name; });

}  // namespace
