#include "platform/WorkerThread.h"

#include "platform/TextEncoding.h"

#include <windows.h>
#include <mmsystem.h>

namespace {

// SetThreadDescription exists from Windows 10 1607 on: looked up, not linked.
void nameThread(const char* name)
{
    using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return;
    }
    const auto describe = reinterpret_cast<Describe>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetThreadDescription")));
    if (describe != nullptr) {
        const std::u16string wide = utf16FromUtf8(name);
        describe(GetCurrentThread(), reinterpret_cast<PCWSTR>(wide.c_str()));
    }
}

}  // namespace

TimedWorkerScope::TimedWorkerScope(const char* name)
{
    nameThread(name);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    m_timerRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
}

TimedWorkerScope::~TimedWorkerScope()
{
    if (m_timerRaised) {
        timeEndPeriod(1);
    }
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

void raiseToRealtimePriority() {}
