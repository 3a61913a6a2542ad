#include "midiout/WinMmService.h"

#include <windows.h>
#include <mmsystem.h>

#include <cwchar>

namespace {

HMIDIOUT handleOf(std::uintptr_t value)
{
    return reinterpret_cast<HMIDIOUT>(value);
}

class SystemWinMmCalls : public WinMmCalls {
public:
    unsigned numDevs() override { return midiOutGetNumDevs(); }
    unsigned devCaps(unsigned device, std::u16string& productName) override
    {
        MIDIOUTCAPSW caps{};
        const MMRESULT result = midiOutGetDevCapsW(device, &caps, sizeof caps);
        if (result == MMSYSERR_NOERROR) {
            static_assert(sizeof(WCHAR) == sizeof(char16_t));
            const std::size_t length = wcsnlen(caps.szPname, MAXPNAMELEN);
            productName.assign(reinterpret_cast<const char16_t*>(caps.szPname), length);
        }
        return result;
    }
    unsigned open(std::uintptr_t& handle, unsigned device) override
    {
        HMIDIOUT opened = nullptr;
        const MMRESULT result = midiOutOpen(&opened, device, 0, 0, CALLBACK_NULL);
        handle = reinterpret_cast<std::uintptr_t>(opened);
        return result;
    }
    unsigned shortMsg(std::uintptr_t handle, std::uint32_t message) override
    {
        return midiOutShortMsg(handleOf(handle), message);
    }
    unsigned reset(std::uintptr_t handle) override { return midiOutReset(handleOf(handle)); }
    unsigned close(std::uintptr_t handle) override { return midiOutClose(handleOf(handle)); }
};

}  // namespace

std::shared_ptr<WinMmCalls> systemWinMmCalls()
{
    return std::make_shared<SystemWinMmCalls>();
}
