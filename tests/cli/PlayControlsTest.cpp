#include "cli/PlayControls.h"
#include "cli/ProgressLine.h"
#include "cli/TerminalMode.h"
#include "playback/AppState.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

namespace {

TEST(PlayKeys, EachKeyAsksForItsRequestAndTheBarFollowsThePosition)
{
    using K = KeyRequest;
    for (const auto& [key, paused, expected] : std::vector<std::tuple<char, bool, K>>{
             {' ', false, K::Pause}, {' ', true, K::Resume}, {'r', false, K::Restart}, {'R', true, K::Restart},
             {'q', true, K::Stop}, {'Q', false, K::Stop}, {'p', false, K::None}, {'\n', true, K::None}}) {
        EXPECT_EQ(keyRequest(key, paused), expected) << int{key} << " paused " << paused;
    }
    EXPECT_EQ(progressLine(64, false, 125000.0), "\r[" + std::string(20, '#') + std::string(20, '-') + "] 1:02 / 2:05         ");
    EXPECT_EQ(progressLine(127, true, 59999.5), "\r[" + std::string(40, '#') + "] 0:59 / 0:59  paused ");
}

// Whether the user had paused; the coil's calls around the stop, each with
// `paused` and `pauseStartPending` as it found them.
class PlaySuspend : public testing::TestWithParam<std::tuple<bool, std::vector<std::string>>> {};

TEST_P(PlaySuspend, CoilIsQuietWhileStoppedAndTheSongGoesOnAsTheUserLeftIt)
{
    const auto& [userPaused, expected] = GetParam();
    AppState state;
    state.playing.store(1);
    TerminalMode terminal(-1);  // no terminal
    std::vector<std::string> calls;
    const auto call = [&](const char* name) {
        return [&, name] { calls.push_back(name + std::to_string(state.paused.load()) + std::to_string(state.pauseStartPending.load())); };
    };
    PlayControls controls(state, terminal, {call("silence "), call("restore ")});
    if (userPaused) {
        controls.press(' ');
        state.pauseStartPending.store(0);  // as the worker's pass serves it
    }
    controls.suspend();
    calls.emplace_back("stopped");
    controls.goOn();
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(state.paused.load() + controls.paused(), userPaused ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(PlayingAndPausedByTheUser, PlaySuspend,
                         testing::Values(std::tuple{false, std::vector<std::string>{"silence 11", "stopped", "restore 11"}},
                                         std::tuple{true, std::vector<std::string>{"silence 10", "stopped", "restore 10"}}));

// A child's exit status; -1 when it was stopped (by SIGTTOU), then killed.
int statusOf(pid_t child)
{
    int status = 0;
    if (::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status)) {
        ::kill(child, SIGKILL);
        return ::waitpid(child, &status, 0) == child ? -1 : -3;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

// Bits 0..3: single-key input after enter, leave, enter again, destruction.
int singleKeysAfterEachStep(int fd)
{
    termios modes{};
    const auto singleKeys = [&] { return ::tcgetattr(fd, &modes) == 0 && (modes.c_lflag & ICANON) == 0 ? 1 : 0; };
    int seen = 0;
    {
        TerminalMode mode(fd);
        seen |= singleKeys();
        mode.leave();
        seen |= singleKeys() << 1;
        mode.enter();
        seen |= singleKeys() << 2;
    }
    return seen | singleKeys() << 3;
}

// controlling: the pty is the child's terminal; foreground: the child is in
// its foreground process group, else a job of its own beside it.
class TerminalModeOnPty : public testing::TestWithParam<std::tuple<bool, bool, int>> {};

TEST_P(TerminalModeOnPty, TakesSingleKeysOnlyInTheForeground)
{
    const auto [controlling, foreground, expected] = GetParam();
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (controlling && (::setsid() < 0 || ::ioctl(slave, TIOCSCTTY, 0) != 0)) {
            ::_exit(100);
        }
        if (const pid_t job = foreground ? 0 : ::fork(); job != 0) {
            ::_exit(statusOf(job) & 0xFF);
        }
        ::_exit((foreground || ::setpgid(0, 0) == 0) ? singleKeysAfterEachStep(slave) : 101);
    }
    EXPECT_EQ(statusOf(child), expected);
    ::close(slave);
    ::close(master);
}

INSTANTIATE_TEST_SUITE_P(ForegroundBackgroundNotControlling, TerminalModeOnPty,
                         testing::Values(std::tuple{true, true, 0b0101}, std::tuple{true, false, 0},
                                         std::tuple{false, true, 0}));

}  // namespace
