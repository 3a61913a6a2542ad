#include "cli/CoilRun.h"
#include "cli/PlayControls.h"
#include "cli/ProgressLine.h"
#include "midiout/VirtualMidiService.h"
#include "platform/TerminalMode.h"
#include "playback/AppState.h"
#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <deque>
#include <tuple>

namespace {

TEST(PlayKeys, EachKeyAsksForItsRequestAndTheBarFollowsThePosition)
{
    using K = KeyRequest;
    for (const auto& [key, paused, expected] : std::vector<std::tuple<char, bool, K>>{
             {' ', false, K::Pause}, {' ', true, K::Resume}, {'r', false, K::Restart}, {'R', true, K::Restart},
             {'q', true, K::Stop}, {'Q', false, K::Stop}, {'n', true, K::Next}, {'N', false, K::Next},
             {'+', true, K::Faster}, {'=', false, K::Faster}, {'-', true, K::Slower}, {'p', false, K::None},
             {'\n', true, K::None}}) {
        EXPECT_EQ(keyRequest(key, paused), expected) << int{key} << " paused " << paused;
    }
    EXPECT_EQ(progressLine(64, false, 62999, 125001), "\r[" + std::string(20, '#') + std::string(20, '-') + "] 1:02 / 2:05         ");
    EXPECT_EQ(progressLine(127, true, 59999, 60000), "\r[" + std::string(40, '#') + "] 0:59 / 1:00  paused ");
    // A line (a status, a tempo change) printed while the bar is drawn covers it.
    EXPECT_EQ(lineOverProgress("Tempo change detected, new tempo = 100", 63),
              "\rTempo change detected, new tempo = 100" + std::string(25, ' ') + "\n");
    EXPECT_EQ(lineOverProgress("Playing 2 of 2: b.mid", 0), "\rPlaying 2 of 2: b.mid\n");
    EXPECT_EQ(lineOverProgress(std::string(70, 'x'), 63), "\r" + std::string(70, 'x') + "\n");
}

TEST(PlayKeys, ArrowsSeekAndOtherEscapeSequencesAreSwallowed)
{
    // One letter a byte: . nothing, p pause, s stop, < back, > forward.
    for (const auto& [bytes, expected] : std::vector<std::pair<std::string, std::string>>{
             {"\x1b[C\x1b[D", "..>..<"},
             {"\x1bOD\x1bOC", "..<..>"},
             {"\x1b[1;5C ", "......p"},
             {"\x1b[Aq", "...s"},
             {"\x1bq\x1b\x1b[C", ".s...>"}}) {
        KeyDecoder decoder;
        std::string requests;
        for (const char byte : bytes) {
            const KeyRequest r = decoder.feed(byte, false);
            requests += r == KeyRequest::Pause ? 'p' : r == KeyRequest::Stop ? 's' : r == KeyRequest::SeekBack ? '<'
                      : r == KeyRequest::SeekForward ? '>' : r == KeyRequest::None ? '.' : '?';
        }
        EXPECT_EQ(requests, expected) << bytes.substr(1);
    }
}

struct SignalCase {
    const char* name;
    bool userPaused;
    std::deque<int> signals, whileStopped;
    std::vector<std::string> calls;  // the coil's, with `paused` and `pauseStartPending` as each found them
    int stoppedBy;                   // the signal that stops playback, 0 for none
    int pausedAfter;
};

class PlaySignals : public testing::TestWithParam<SignalCase> {};

TEST_P(PlaySignals, CoilIsQuietWhileStoppedAndTheSongGoesOnAsTheUserLeftIt)
{
    const SignalCase& row = GetParam();
    AppState state;
    state.playing.store(1);
    TerminalMode terminal(-1);  // no terminal
    std::vector<std::string> calls;
    const auto call = [&](const char* name) {
        return [&, name] { calls.push_back(name + std::to_string(state.paused.load()) + std::to_string(state.pauseStartPending.load())); };
    };
    PlayControls controls(state, terminal, {call("silence "), call("restore ")});
    if (row.userPaused) {
        controls.press(' ');
        state.pauseStartPending.store(0);  // as the worker's pass serves it
    }
    std::deque<int> pending = row.signals;
    const auto take = [&] { const int next = pending.empty() ? 0 : pending.front(); return pending.empty() ? 0 : (pending.pop_front(), next); };
    EXPECT_EQ(controls.answerSignals(take, [&] { calls.emplace_back("stopped"); pending = row.whileStopped; }),
              row.stoppedBy);
    EXPECT_EQ(calls, row.calls);
    EXPECT_EQ(state.paused.load(), row.pausedAfter);
    EXPECT_EQ(state.playing.load(), row.stoppedBy != 0 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaySignals,
    testing::Values(SignalCase{"CtrlZWhilePlaying", false, {SIGTSTP}, {SIGCONT}, {"silence 11", "stopped", "restore 11"}, 0, 0},
                    SignalCase{"CtrlZWhilePaused", true, {SIGTSTP}, {SIGCONT}, {"silence 10", "stopped", "restore 10"}, 0, 1},
                    SignalCase{"KillOfTheStoppedJob", false, {SIGTSTP}, {SIGTERM, SIGCONT}, {"silence 11", "stopped"}, SIGTERM, 1},
                    SignalCase{"HangUp", false, {SIGCONT, SIGHUP}, {}, {}, SIGHUP, 0},
                    // The first of two that stop it is the one the exit status tells.
                    SignalCase{"CtrlCThenQuit", false, {SIGINT, SIGQUIT}, {}, {}, SIGINT, 0},
                    SignalCase{"ContinueAloneChangesNothing", false, {SIGCONT}, {}, {}, 0, 0}),
    [](const testing::TestParamInfo<SignalCase>& param) { return param.param.name; });

// The run of play and live: a signal that ends it is its exit status, as a
// shell expects, and its end resets every channel of the device it chose.
TEST(CoilRunTest, ASignalEndsItWith128PlusItsNumberAndEveryChannelReset)
{
    for (const int signal : {0, SIGINT, SIGTERM}) {
        auto devices = std::make_shared<VirtualMidiService>(std::vector<std::string>{"Synth", "Quillarc USB Controller"});
        ASSERT_TRUE(MidiOutPort::installService(devices));
        const ConfigFolder config;
        PlaybackOptions options;
        {
            CoilRun run({}, options);
            ASSERT_EQ(run.failure(), 0);
            EXPECT_EQ(run.state().controllerName(), "Quillarc USB Controller");
            if (signal != 0) {
                ASSERT_EQ(::pthread_kill(::pthread_self(), signal), 0);  // held for the run's descriptor
            }
            TerminalMode terminal(-1);
            int looks = 0;
            run.watch(terminal, {[&] { return looks > 0; }, [](const std::function<int()>& take) { return take(); },
                                 [](char) {}, [&] { ++looks; }});
            EXPECT_EQ(run.exitStatus(7), signal != 0 ? 128 + signal : 7);
            run.resetEveryChannel();
        }
        using Kind = VirtualMidiService::Record::Kind;
        std::vector<std::pair<Kind, int>> last;
        for (const auto& record : devices->records()) {
            last.emplace_back(record.kind, record.device);
        }
        EXPECT_EQ(std::vector(last.end() - 3, last.end()),
                  (std::vector<std::pair<Kind, int>>{{Kind::Open, 1}, {Kind::Reset, 1}, {Kind::Close, 1}}));
    }
}

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

// The pty is the child's terminal; the child is in its foreground group (or a job beside it).
class TerminalModeOnPty : public testing::TestWithParam<std::tuple<bool, bool, int>> {};

TEST_P(TerminalModeOnPty, TakesSingleKeysOnlyInTheForeground)
{
    const auto [controlling, foreground, expected] = GetParam();
    int master = -1, slave = -1;
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
