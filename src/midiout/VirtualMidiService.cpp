#include "midiout/VirtualMidiService.h"

#include <utility>

VirtualMidiService::VirtualMidiService(std::vector<std::string> deviceNames)
{
    for (std::string& name : deviceNames) {
        m_devices.push_back(Device{std::move(name)});
    }
}

VirtualMidiService::Device* VirtualMidiService::find(int device)
{
    if (device < 0 || device >= static_cast<int>(m_devices.size())) {
        return nullptr;
    }
    return &m_devices[static_cast<std::size_t>(device)];
}

void VirtualMidiService::record(Record::Kind kind, int device, std::array<std::uint8_t, 3> bytes)
{
    m_records.push_back(Record{kind, device, bytes, std::chrono::steady_clock::now()});
}

int VirtualMidiService::deviceCount()
{
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_devices.size());
}

std::string VirtualMidiService::productName(int device)
{
    const std::lock_guard lock(m_mutex);
    const Device* entry = find(device);
    return entry ? entry->name : std::string();
}

bool VirtualMidiService::open(int device)
{
    const std::lock_guard lock(m_mutex);
    Device* entry = find(device);
    if (!entry || entry->open || entry->failOpen) {
        return false;
    }
    entry->open = true;
    record(Record::Kind::Open, device);
    return true;
}

void VirtualMidiService::close(int device)
{
    const std::lock_guard lock(m_mutex);
    Device* entry = find(device);
    if (entry && entry->open) {
        entry->open = false;
        record(Record::Kind::Close, device);
    }
}

void VirtualMidiService::reset(int device)
{
    const std::lock_guard lock(m_mutex);
    const Device* entry = find(device);
    if (entry && entry->open) {
        record(Record::Kind::Reset, device);
    }
}

int VirtualMidiService::send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::lock_guard lock(m_mutex);
    const Device* entry = find(device);
    if (!entry) {
        return kSendDeviceNotOpen;
    }
    if (entry->sendError != 0) {
        return entry->sendError;
    }
    if (!entry->open) {
        return kSendDeviceNotOpen;
    }
    record(Record::Kind::Message, device, {status, data1, data2});
    return 0;
}

std::vector<VirtualMidiService::Record> VirtualMidiService::records() const
{
    const std::lock_guard lock(m_mutex);
    return m_records;
}

std::vector<std::array<std::uint8_t, 3>> VirtualMidiService::messages(int device) const
{
    const std::lock_guard lock(m_mutex);
    std::vector<std::array<std::uint8_t, 3>> result;
    for (const Record& entry : m_records) {
        if (entry.kind == Record::Kind::Message && entry.device == device && !entry.takenBack) {
            result.push_back(entry.bytes);
        }
    }
    return result;
}

void VirtualMidiService::clear()
{
    const std::lock_guard lock(m_mutex);
    m_records.clear();
}

void VirtualMidiService::failOpen(int device, bool fail)
{
    const std::lock_guard lock(m_mutex);
    if (Device* entry = find(device)) {
        entry->failOpen = fail;
    }
}

void VirtualMidiService::setSendError(int device, int code)
{
    const std::lock_guard lock(m_mutex);
    if (Device* entry = find(device)) {
        entry->sendError = code;
    }
}

bool VirtualMidiService::isDeviceOpen(int device) const
{
    const std::lock_guard lock(m_mutex);
    return device >= 0 && device < static_cast<int>(m_devices.size()) &&
           m_devices[static_cast<std::size_t>(device)].open;
}

void VirtualMidiService::addDevice(std::string name)
{
    const std::lock_guard lock(m_mutex);
    m_devices.push_back(Device{std::move(name)});
}

void VirtualMidiService::unplug(const std::string& name)
{
    const std::lock_guard lock(m_mutex);
    for (auto device = m_devices.begin(); device != m_devices.end(); ++device) {
        if (device->name == name) {
            m_devices.erase(device);
            return;
        }
    }
}

void VirtualMidiService::unplugLastDevice()
{
    const std::lock_guard lock(m_mutex);
    if (!m_devices.empty()) {
        m_devices.pop_back();
    }
}

void VirtualMidiService::setCycleTargets(bool on)
{
    const std::lock_guard lock(m_mutex);
    m_cycleTargets = on;
}

int VirtualMidiService::cycleTarget(int device)
{
    const std::lock_guard lock(m_mutex);
    const Device* entry = find(device);
    return m_cycleTargets && entry && entry->open ? device : -1;
}

int VirtualMidiService::scheduleLeadMs(int device)
{
    const std::lock_guard lock(m_mutex);
    const Device* entry = find(device);
    return entry ? entry->leadMs : 0;
}

int VirtualMidiService::sendAt(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                               std::uint32_t dueMs)
{
    const int result = send(device, status, data1, data2);
    const std::lock_guard lock(m_mutex);
    if (result == 0 && find(device)->leadMs != 0) {
        m_records.back().dueMs = dueMs;
    }
    return result;
}

int VirtualMidiService::takeBack(int device)
{
    const std::lock_guard lock(m_mutex);
    const Device* entry = find(device);
    if (!entry || entry->leadMs == 0) {
        return 0;
    }
    const std::uint32_t now = entry->now();
    int count = 0;
    for (Record& record : m_records) {
        if (record.device == device && record.dueMs && !record.takenBack &&
            static_cast<std::int32_t>(*record.dueMs - now) > 0) {
            record.takenBack = true;
            ++count;
        }
    }
    return count;
}

void VirtualMidiService::setSchedule(int device, int leadMs, std::function<std::uint32_t()> now)
{
    const std::lock_guard lock(m_mutex);
    if (Device* entry = find(device)) {
        entry->leadMs = leadMs;
        entry->now = std::move(now);
    }
}
