#pragma once

#include "midiout/MidiService.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

// The six calls of the Windows multimedia MIDI output that WinMmService
// makes, with the system's types as plain numbers: a result is an MMRESULT
// (0 = no error), a handle is the value of an HMIDIOUT. systemWinMmCalls()
// gives the system's own on Windows; tests give a fake.
class WinMmCalls {
public:
    virtual ~WinMmCalls() = default;
    virtual unsigned numDevs() = 0;
    // midiOutGetDevCapsW: the product name is the capability record's szPname,
    // up to its first NUL.
    virtual unsigned devCaps(unsigned device, std::u16string& productName) = 0;
    // midiOutOpen without a callback.
    virtual unsigned open(std::uintptr_t& handle, unsigned device) = 0;
    virtual unsigned shortMsg(std::uintptr_t handle, std::uint32_t message) = 0;
    virtual unsigned reset(std::uintptr_t handle) = 0;
    virtual unsigned close(std::uintptr_t handle) = 0;
};

// The system's MIDI output devices through WinMM, the platform's own service
// on Windows. Devices are numbered as WinMM numbers them; the product name is
// the driver's, converted to UTF-8, with nothing stripped. Messages are
// handed to the driver at once as one packed word (packShortMessage).
// Thread-safe; nothing is printed or thrown.
class WinMmService : public MidiService {
public:
    explicit WinMmService(std::shared_ptr<WinMmCalls> calls);
    ~WinMmService() override;

    WinMmService(const WinMmService&) = delete;
    WinMmService& operator=(const WinMmService&) = delete;

    int deviceCount() override;
    std::string productName(int device) override;
    bool open(int device) override;
    void close(int device) override;
    // Sustain off, all sound off and all notes off on all 16 channels, then
    // midiOutReset: the driver's own note-offs follow.
    void reset(int device) override;
    // The driver's MMRESULT; kSendDeviceNotOpen for a device not open here.
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;

private:
    bool isDeviceLocked(int device) const;

    const std::shared_ptr<WinMmCalls> m_calls;
    std::mutex m_mutex;
    int m_count = 0;
    std::map<int, std::uintptr_t> m_open;  // device -> handle
};

// WinMM itself (winmm.dll).
std::shared_ptr<WinMmCalls> systemWinMmCalls();
