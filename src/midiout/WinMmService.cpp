#include "midiout/WinMmService.h"

#include "midiout/ShortMessage.h"
#include "platform/TextEncoding.h"

#include <climits>
#include <utility>

namespace {

// MMSYSERR_BADDEVICEID: a device that has gone since it was opened. The code
// 2 is MidiOutPort's own (no port), so it is told as a device gone instead.
constexpr unsigned kBadDeviceId = 2;

}  // namespace

WinMmService::WinMmService(std::shared_ptr<WinMmCalls> calls) : m_calls(std::move(calls)) {}

WinMmService::~WinMmService()
{
    for (const auto& [device, handle] : m_open) {
        m_calls->close(handle);
    }
}

bool WinMmService::isDeviceLocked(int device) const
{
    return device >= 0 && device < m_count;
}

int WinMmService::deviceCount()
{
    const unsigned count = m_calls->numDevs();
    const std::lock_guard lock(m_mutex);
    m_count = count > INT_MAX ? INT_MAX : static_cast<int>(count);
    return m_count;
}

std::string WinMmService::productName(int device)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!isDeviceLocked(device)) {
            return {};
        }
    }
    std::u16string name;
    if (m_calls->devCaps(static_cast<unsigned>(device), name) != 0) {
        return {};
    }
    return utf8FromUtf16(name);
}

bool WinMmService::open(int device)
{
    const std::lock_guard lock(m_mutex);
    if (!isDeviceLocked(device) || m_open.contains(device)) {
        return false;
    }
    std::uintptr_t handle = 0;
    if (m_calls->open(handle, static_cast<unsigned>(device)) != 0) {
        return false;
    }
    m_open.emplace(device, handle);
    return true;
}

void WinMmService::close(int device)
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_open.find(device);
    if (found != m_open.end()) {
        m_calls->close(found->second);
        m_open.erase(found);
    }
}

void WinMmService::reset(int device)
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_open.find(device);
    if (found == m_open.end()) {
        return;
    }
    for (const auto& message : resetMessages()) {
        m_calls->shortMsg(found->second, packShortMessage(message[0], message[1], message[2]));
    }
    m_calls->reset(found->second);
}

int WinMmService::send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    // The handle is used under the lock that close() takes: a close on
    // another thread cannot free it (and WinMM give its value to the next
    // open) between the look-up and the call. midiOutShortMsg returns at once.
    const std::lock_guard lock(m_mutex);
    const auto found = m_open.find(device);
    if (found == m_open.end()) {
        return kSendDeviceNotOpen;
    }
    const unsigned result = m_calls->shortMsg(found->second, packShortMessage(status, data1, data2));
    if (result == kBadDeviceId) {
        return kSendDeviceGone;
    }
    return result > INT_MAX ? kSendDriverError : static_cast<int>(result);
}
