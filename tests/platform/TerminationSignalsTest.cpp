#include "platform/TerminationSignals.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace {

using Delivery = TerminationSignals::Delivery;

using JobControl = TerminationSignals::JobControl;

struct SignalCase {
    const char* name;
    int signal;
    Delivery delivery;
    JobControl jobControl = JobControl::LeftAlone;
};

class TerminationSignalsTest : public testing::TestWithParam<SignalCase> {};

bool blockedHere(int signal)
{
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    return sigismember(&mask, signal) == 1;
}

TEST_P(TerminationSignalsTest, SignalArrivesAsDataAndNothingIsLeftBehind)
{
    const SignalCase& param = GetParam();
    struct sigaction before{};
    ASSERT_EQ(::sigaction(param.signal, nullptr, &before), 0);
    ASSERT_FALSE(blockedHere(param.signal));
    const bool taken = param.jobControl == JobControl::Taken || (param.signal != SIGTSTP && param.signal != SIGCONT);
    {
        TerminationSignals signals(param.delivery, param.jobControl);
        ASSERT_GE(signals.fd(), 0);
        EXPECT_EQ(signals.delivery(), param.delivery);
        // Blocked only where a signalfd reads it.
        ASSERT_EQ(blockedHere(param.signal), taken && param.delivery == Delivery::SignalFd);
        EXPECT_EQ(signals.take(), 0);
        struct sigaction during{};
        ASSERT_EQ(::sigaction(param.signal, nullptr, &during), 0);
        ASSERT_EQ(during.sa_handler == before.sa_handler, !taken || param.delivery == Delivery::SignalFd);
        if (!taken) {
            return;  // raised, it would stop the test
        }

        ASSERT_EQ(::raise(param.signal), 0);
        pollfd ready{signals.fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 5000), 1);
        EXPECT_EQ(signals.take(), param.signal);
        EXPECT_EQ(signals.take(), 0);
    }
    struct sigaction after{};
    ASSERT_EQ(::sigaction(param.signal, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    EXPECT_FALSE(blockedHere(param.signal));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerminationSignalsTest,
    testing::Values(SignalCase{"InterruptThroughSignalFd", SIGINT, Delivery::SignalFd},
                    SignalCase{"TerminateThroughSignalFd", SIGTERM, Delivery::SignalFd},
                    SignalCase{"HangUpThroughSignalFd", SIGHUP, Delivery::SignalFd},
                    SignalCase{"QuitThroughSignalFd", SIGQUIT, Delivery::SignalFd},
                    SignalCase{"InterruptThroughSelfPipe", SIGINT, Delivery::SelfPipe},
                    SignalCase{"TerminateThroughSelfPipe", SIGTERM, Delivery::SelfPipe},
                    SignalCase{"HangUpThroughSelfPipe", SIGHUP, Delivery::SelfPipe},
                    SignalCase{"QuitThroughSelfPipe", SIGQUIT, Delivery::SelfPipe},
                    SignalCase{"SuspendThroughSignalFd", SIGTSTP, Delivery::SignalFd, JobControl::Taken},
                    SignalCase{"ContinueThroughSelfPipe", SIGCONT, Delivery::SelfPipe, JobControl::Taken},
                    SignalCase{"SuspendLeftAloneUnlessAsked", SIGTSTP, Delivery::SelfPipe}),
    [](const testing::TestParamInfo<SignalCase>& param) { return param.param.name; });

// stopProcess() with a signal already sent: one that ends the process or
// continues it must not be lost behind the stop (a SIGCONT sent before the
// stop is discarded by it, and an ending signal waits, blocked, behind it), or
// the process would stay stopped with nobody left to continue it. A second
// Ctrl-Z still stops it.
struct StopCase {
    const char* name;
    int sentBefore;  // 0: none
    Delivery delivery;
    bool stops;
};

class StopProcessTest : public testing::TestWithParam<StopCase> {};

TEST_P(StopProcessTest, StopsOnlyWhenNothingEndsOrContinuesIt)
{
    const StopCase& param = GetParam();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A group of its own whose parent shares the session: not orphaned,
        // so the system does not drop the stop.
        ::setpgid(0, 0);
        TerminationSignals signals(param.delivery, JobControl::Taken);
        if (param.sentBefore != 0) {
            ::raise(param.sentBefore);
        }
        signals.stopProcess();
        pollfd ready{signals.fd(), POLLIN, 0};
        ::poll(&ready, 1, 5000);
        int last = 0;
        for (int taken = 0; taken < 8; ++taken) {  // bounded: a take() that never ends must not hang the test
            const int signal = signals.take();
            last = signal != 0 ? signal : last;
        }
        ::_exit(last);
    }
    // A child that neither stops nor ends is killed, so that it fails the
    // test rather than hanging it.
    int status = 0;
    const auto waitChild = [&](int options) {
        for (int tries = 0; tries < 1000; ++tries) {
            if (::waitpid(child, &status, options | WNOHANG) == child) {
                return true;
            }
            ::usleep(10'000);
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return false;
    };
    ASSERT_TRUE(waitChild(WUNTRACED));
    const bool stopped = WIFSTOPPED(status);
    if (stopped) {
        ::kill(child, SIGCONT);
        ASSERT_TRUE(waitChild(0));
    }
    EXPECT_EQ(stopped, param.stops);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), param.stops ? SIGCONT : param.sentBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopProcessTest,
    testing::Values(StopCase{"NothingSentThroughSignalFd", 0, Delivery::SignalFd, true},
                    StopCase{"InterruptSentThroughSignalFd", SIGINT, Delivery::SignalFd, false},
                    StopCase{"ContinueSentThroughSignalFd", SIGCONT, Delivery::SignalFd, false},
                    StopCase{"SuspendAgainThroughSignalFd", SIGTSTP, Delivery::SignalFd, true},
                    StopCase{"NothingSentThroughSelfPipe", 0, Delivery::SelfPipe, true},
                    StopCase{"InterruptSentThroughSelfPipe", SIGINT, Delivery::SelfPipe, false},
                    StopCase{"ContinueSentThroughSelfPipe", SIGCONT, Delivery::SelfPipe, false},
                    StopCase{"SuspendAgainThroughSelfPipe", SIGTSTP, Delivery::SelfPipe, true}),
    [](const testing::TestParamInfo<StopCase>& param) { return param.param.name; });

}  // namespace
