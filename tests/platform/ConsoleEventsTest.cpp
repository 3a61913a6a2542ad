#include "platform/TerminationSignals.h"

#include <gtest/gtest.h>

#include <future>

#include <windows.h>

namespace {

struct ConsoleCase {
    const char* name;
    DWORD event;
    int signal;
    bool waitsForOwner;  // the system ends the process once the handler returns
};

class ConsoleEventsTest : public testing::TestWithParam<ConsoleCase> {};

TEST_P(ConsoleEventsTest, EventArrivesAsItsSignalAndTheLastOnesWaitForTheOwner)
{
    const ConsoleCase& row = GetParam();
    std::future<int> handled;
    {
        TerminationSignals signals;
        EXPECT_EQ(WaitForSingleObject(signals.event(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
        handled = std::async(std::launch::async, [&] { return consoleControlHandler(row.event); });
        ASSERT_EQ(WaitForSingleObject(signals.event(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_EQ(signals.take(), row.signal);
        EXPECT_EQ(signals.take(), 0);
        EXPECT_EQ(WaitForSingleObject(signals.event(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(handled.wait_for(std::chrono::milliseconds(row.waitsForOwner ? 200 : 5000)),
                  row.waitsForOwner ? std::future_status::timeout : std::future_status::ready);
    }
    EXPECT_EQ(handled.get(), TRUE);
    // With no object the event is the system's again.
    EXPECT_EQ(consoleControlHandler(row.event), FALSE);
}

INSTANTIATE_TEST_SUITE_P(
    Events, ConsoleEventsTest,
    testing::Values(ConsoleCase{"CtrlC", CTRL_C_EVENT, TerminationSignals::kInterrupt, false},
                    ConsoleCase{"CtrlBreak", CTRL_BREAK_EVENT, TerminationSignals::kQuit, false},
                    ConsoleCase{"ConsoleClosed", CTRL_CLOSE_EVENT, TerminationSignals::kHangUp, true},
                    ConsoleCase{"LogOff", CTRL_LOGOFF_EVENT, TerminationSignals::kTerminate, true},
                    ConsoleCase{"ShutDown", CTRL_SHUTDOWN_EVENT, TerminationSignals::kTerminate, true}),
    [](const testing::TestParamInfo<ConsoleCase>& param) { return param.param.name; });

}  // namespace
