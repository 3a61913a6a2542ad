#include "midiout/MidiOutPort.h"

#include "base/Fatal.h"
#include "midiout/ShortMessage.h"
#include "midiout/SystemMidiService.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The process-wide device table. The mutex is uncontended in this program (the
// worker threads exclude each other) but keeps the table well-defined for any
// thread. It is never held while the process is ended: exit destroys static
// output objects, which lock it again.
struct DeviceTable {
    std::mutex mutex;
    std::shared_ptr<MidiService> service;
    int deviceCount = 0;
    int objectCount = 0;
    // Present while at least one object exists; 1 = device open.
    std::vector<int> openState;
    bool exists = false;
};

// Built on first use, which is inside the first object's constructor, so it
// outlives every static output object.
DeviceTable& table()
{
    static DeviceTable instance;
    return instance;
}

MidiService& serviceLocked(DeviceTable& devices)
{
    if (!devices.service) {
        devices.service = makeSystemMidiService();
    }
    return *devices.service;
}

// False for a port that a recount left beyond the devices.
bool isDeviceLocked(const DeviceTable& devices, int port)
{
    return port >= 0 && static_cast<std::size_t>(port) < devices.openState.size();
}

bool openLocked(DeviceTable& devices, int port)
{
    if (!isDeviceLocked(devices, port)) {
        return false;
    }
    const bool opened = devices.service->open(port);
    devices.openState[static_cast<std::size_t>(port)] = opened ? 1 : 0;
    return opened;
}

void closeLocked(DeviceTable& devices, int port)
{
    if (!isDeviceLocked(devices, port)) {
        return;
    }
    int& state = devices.openState[static_cast<std::size_t>(port)];
    if (state == 1) {
        devices.service->close(port);
        state = 0;
    }
}

}  // namespace

MidiOutPort::MidiOutPort()
{
    attachToTable();
    if (deviceCount() > 0) {
        selectPort(0);
    }
}

MidiOutPort::MidiOutPort(int port, int openNow)
{
    attachToTable();
    selectPort(port);
    if (openNow != 0) {
        openPort();
    }
}

void MidiOutPort::attachToTable()
{
    DeviceTable& devices = table();
    std::unique_lock lock(devices.mutex);
    if (devices.objectCount == 0) {
        // No device at all is a state like any other: the table is empty,
        // and the objects have no port until a recount finds some.
        const int count = std::max(serviceLocked(devices).deviceCount(), 0);
        if (devices.exists) {
            lock.unlock();
            fatalError("Error: device array should be NULL when calling initialize() in MidiOutPort.");
        }
        devices.deviceCount = count;
        devices.openState.assign(static_cast<std::size_t>(count), 0);
        devices.exists = true;
    }
    devices.objectCount += 1;
    m_service = devices.service.get();
}

MidiOutPort::~MidiOutPort()
{
    DeviceTable& devices = table();
    std::unique_lock lock(devices.mutex);
    devices.objectCount -= 1;
    if (devices.objectCount == 0 && devices.exists) {
        // Cut off everything still sounding before the devices go.
        for (int device = 0; device < devices.deviceCount; ++device) {
            if (devices.openState[static_cast<std::size_t>(device)] == 1) {
                devices.service->reset(device);
                devices.service->close(device);
                devices.openState[static_cast<std::size_t>(device)] = 0;
            }
        }
        devices.openState.clear();
        devices.exists = false;
    }
    const int remaining = devices.objectCount;
    lock.unlock();
    if (remaining < 0) {
        fatalError("Error: bad MidiOutPort object count!: " + std::to_string(remaining));
    }
}

int MidiOutPort::deviceCount()
{
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    return devices.deviceCount;
}

int MidiOutPort::recount()
{
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    if (!devices.exists || std::find(devices.openState.begin(), devices.openState.end(), 1) != devices.openState.end()) {
        return -1;
    }
    const int count = devices.service->deviceCount();
    if (count > 0) {
        devices.deviceCount = count;
        devices.openState.assign(static_cast<std::size_t>(count), 0);
    }
    // With no device left the table keeps its size, so that every object
    // still has a port to select; the service has nothing behind those
    // numbers, so they give empty names and open nothing.
    return count;
}

void MidiOutPort::selectPort(int index)
{
    const int count = deviceCount();
    if (index < 0 || index >= count) {
        fatalError("Error: maximum port number is: " + std::to_string(count - 1) +
                   ", but you tried to access port: " + std::to_string(index));
    }
    m_port = index;
}

int MidiOutPort::isOpen() const
{
    if (m_port < 0) {
        return 2;
    }
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    return isDeviceLocked(devices, m_port) && devices.openState[static_cast<std::size_t>(m_port)] == 1 ? 1 : 0;
}

int MidiOutPort::openPort()
{
    if (m_port < 0) {
        return 2;
    }
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    if (isDeviceLocked(devices, m_port) && devices.openState[static_cast<std::size_t>(m_port)] == 1) {
        return 1;
    }
    return openLocked(devices, m_port) ? 1 : 0;
}

void MidiOutPort::closePort()
{
    if (m_port < 0) {
        return;
    }
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    closeLocked(devices, m_port);
}

void MidiOutPort::resetPort()
{
    if (m_port < 0) {
        return;
    }
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    if (devices.openState[static_cast<std::size_t>(m_port)] == 1) {
        devices.service->reset(m_port);
    }
}

std::string MidiOutPort::portName()
{
    if (m_port < 0) {
        return "Null MIDI Output";
    }
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    if (!isDeviceLocked(devices, m_port)) {
        return std::string();
    }
    if (devices.openState[static_cast<std::size_t>(m_port)] != 0) {
        return devices.service->productName(m_port);
    }
    if (!openLocked(devices, m_port)) {
        return std::string();
    }
    std::string name = devices.service->productName(m_port);
    closeLocked(devices, m_port);
    return name;
}

namespace {

// The three low bytes of the packed word.
std::array<std::uint8_t, 3> wireBytes(int status, int data1, int data2)
{
    const std::uint32_t word = packShortMessage(status, data1, data2);
    return {static_cast<std::uint8_t>(word & 0xFFU), static_cast<std::uint8_t>((word >> 8) & 0xFFU),
            static_cast<std::uint8_t>((word >> 16) & 0xFFU)};
}

}  // namespace

int MidiOutPort::sendShortMessage(int status, int data1, int data2)
{
    if (m_port < 0) {
        return 2;
    }
    const auto bytes = wireBytes(status, data1, data2);
    return m_service->send(m_port, bytes[0], bytes[1], bytes[2]);
}

int MidiOutPort::scheduleLeadMs() const
{
    return m_port < 0 ? 0 : m_service->scheduleLeadMs(m_port);
}

int MidiOutPort::sendShortMessageAt(int status, int data1, int data2, std::uint32_t dueMs)
{
    if (m_port < 0) {
        return 2;
    }
    const auto bytes = wireBytes(status, data1, data2);
    return m_service->sendAt(m_port, bytes[0], bytes[1], bytes[2], dueMs);
}

int MidiOutPort::takeBack()
{
    return m_port < 0 ? 0 : m_service->takeBack(m_port);
}

bool MidiOutPort::connected() const
{
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    return isDeviceLocked(devices, m_port) && devices.openState[static_cast<std::size_t>(m_port)] == 1 &&
           devices.service->connected(m_port);
}

int MidiOutPort::cycleTarget() const
{
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    const bool open = isDeviceLocked(devices, m_port) && devices.openState[static_cast<std::size_t>(m_port)] == 1;
    return open ? devices.service->cycleTarget(m_port) : -1;
}

int MidiOutPort::port() const
{
    return m_port;
}

bool MidiOutPort::installService(std::shared_ptr<MidiService> service)
{
    if (!service) {
        return false;
    }
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    if (devices.objectCount > 0) {
        return false;
    }
    devices.service = std::move(service);
    return true;
}

std::shared_ptr<MidiService> MidiOutPort::service()
{
    DeviceTable& devices = table();
    const std::lock_guard lock(devices.mutex);
    serviceLocked(devices);
    return devices.service;
}
