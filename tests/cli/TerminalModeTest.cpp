#include "cli/TerminalMode.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct TerminalCase {
    const char* name;
    bool controlling;  // the pty is the child's controlling terminal
    bool foreground;   // ... and the child is in its foreground process group
    int expected;      // single-key input after: enter, leave, enter again, destruction (bits 0..3)
};

// A child's exit status; -1 when it was stopped (by SIGTTOU) and killed.
int statusOf(pid_t child)
{
    int status = 0;
    ::waitpid(child, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

int singleKeysAfterEachStep(int fd)
{
    const auto singleKeys = [fd] {
        termios modes{};
        return ::tcgetattr(fd, &modes) == 0 && (modes.c_lflag & ICANON) == 0 ? 1 : 0;
    };
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

class TerminalModeOnPty : public testing::TestWithParam<TerminalCase> {};

TEST_P(TerminalModeOnPty, TakesSingleKeysOnlyInTheForeground)
{
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (GetParam().controlling && (::setsid() < 0 || ::ioctl(slave, TIOCSCTTY, 0) != 0)) {
            ::_exit(100);
        }
        if (!GetParam().foreground) {
            // A job of its own beside the session's foreground group.
            const pid_t job = ::fork();
            if (job != 0) {
                ::_exit(statusOf(job) & 0xFF);
            }
            ::setpgid(0, 0);
        }
        ::_exit(singleKeysAfterEachStep(slave));
    }
    EXPECT_EQ(statusOf(child), GetParam().expected);
    ::close(slave);
    ::close(master);
}

INSTANTIATE_TEST_SUITE_P(Cases, TerminalModeOnPty,
                         testing::Values(TerminalCase{"Foreground", true, true, 0b0101},
                                         TerminalCase{"BackgroundJob", true, false, 0},
                                         TerminalCase{"NotTheControllingTerminal", false, true, 0}),
                         [](const testing::TestParamInfo<TerminalCase>& param) { return param.param.name; });

}  // namespace
