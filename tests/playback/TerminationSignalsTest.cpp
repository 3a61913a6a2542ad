#include "playback/TerminationSignals.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>

#include <csignal>

namespace {

using Delivery = TerminationSignals::Delivery;

struct SignalCase {
    const char* name;
    int signal;
    Delivery delivery;
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
    {
        TerminationSignals signals(param.delivery);
        ASSERT_GE(signals.fd(), 0);
        EXPECT_EQ(signals.delivery(), param.delivery);
        // Blocked only where a signalfd reads it.
        EXPECT_EQ(blockedHere(param.signal), param.delivery == Delivery::SignalFd);
        EXPECT_EQ(signals.take(), 0);

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
                    SignalCase{"QuitThroughSelfPipe", SIGQUIT, Delivery::SelfPipe}),
    [](const testing::TestParamInfo<SignalCase>& param) { return param.param.name; });

}  // namespace
