#include "platform/TerminationSignals.h"

#include <deque>
#include <mutex>

#include <windows.h>

namespace {

// How long a console close, log-off or shut-down waits for the owner to
// silence the coil: the system ends the process 5 s after a close anyway.
constexpr DWORD kOwnerWaitMs = 4000;

// Shared with the handler, which runs on a thread of the system's; it lives
// for the whole process, so a handler still running after the object has
// gone finds it intact.
struct ConsoleEvents {
    std::mutex mutex;
    bool taking = false;
    std::deque<int> pending;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE ownerGone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

ConsoleEvents& events()
{
    static ConsoleEvents* const shared = new ConsoleEvents;
    return *shared;
}

int signalFor(DWORD eventType)
{
    switch (eventType) {
    case CTRL_C_EVENT:
        return TerminationSignals::kInterrupt;
    case CTRL_BREAK_EVENT:
        return TerminationSignals::kQuit;
    case CTRL_CLOSE_EVENT:
        return TerminationSignals::kHangUp;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        return TerminationSignals::kTerminate;
    default:
        return 0;
    }
}

BOOL WINAPI onConsoleEvent(DWORD eventType)
{
    return consoleControlHandler(eventType);
}

}  // namespace

int consoleControlHandler(unsigned long eventType)
{
    const int signal = signalFor(eventType);
    ConsoleEvents& shared = events();
    {
        const std::lock_guard lock(shared.mutex);
        if (signal == 0 || !shared.taking) {
            return FALSE;
        }
        shared.pending.push_back(signal);
        SetEvent(shared.ready);
    }
    if (signal == TerminationSignals::kHangUp || signal == TerminationSignals::kTerminate) {
        WaitForSingleObject(shared.ownerGone, kOwnerWaitMs);
    }
    return TRUE;
}

TerminationSignals::TerminationSignals(Delivery, JobControl)
{
    ConsoleEvents& shared = events();
    {
        const std::lock_guard lock(shared.mutex);
        shared.taking = true;
        shared.pending.clear();
        ResetEvent(shared.ready);
        ResetEvent(shared.ownerGone);
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

TerminationSignals::~TerminationSignals()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    ConsoleEvents& shared = events();
    const std::lock_guard lock(shared.mutex);
    shared.taking = false;
    shared.pending.clear();
    ResetEvent(shared.ready);
    SetEvent(shared.ownerGone);
}

void* TerminationSignals::event() const
{
    return events().ready;
}

int TerminationSignals::take()
{
    ConsoleEvents& shared = events();
    const std::lock_guard lock(shared.mutex);
    if (shared.pending.empty()) {
        ResetEvent(shared.ready);
        return 0;
    }
    const int signal = shared.pending.front();
    shared.pending.pop_front();
    if (shared.pending.empty()) {
        ResetEvent(shared.ready);
    }
    return signal;
}

void TerminationSignals::stopProcess() {}
