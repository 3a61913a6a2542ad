#include "midiout/MidiServiceChain.h"

MidiServiceChain::MidiServiceChain(std::vector<std::shared_ptr<MidiService>> services)
    : m_services(std::move(services)), m_counts(m_services.size(), 0)
{
}

int MidiServiceChain::deviceCount()
{
    std::vector<int> counts;
    int total = 0;
    for (const auto& service : m_services) {
        const int count = service->deviceCount();
        counts.push_back(count > 0 ? count : 0);
        total += counts.back();
    }
    const std::lock_guard lock(m_mutex);
    m_counts = std::move(counts);
    return total;
}

MidiServiceChain::Target MidiServiceChain::find(int device) const
{
    const std::lock_guard lock(m_mutex);
    if (device < 0) {
        return {};
    }
    for (std::size_t index = 0; index < m_services.size(); ++index) {
        if (device < m_counts[index]) {
            return {m_services[index].get(), device};
        }
        device -= m_counts[index];
    }
    return {};
}

std::string MidiServiceChain::productName(int device)
{
    const Target target = find(device);
    return target.service ? target.service->productName(target.device) : std::string();
}

bool MidiServiceChain::open(int device)
{
    const Target target = find(device);
    return target.service && target.service->open(target.device);
}

void MidiServiceChain::close(int device)
{
    if (const Target target = find(device); target.service) {
        target.service->close(target.device);
    }
}

void MidiServiceChain::reset(int device)
{
    if (const Target target = find(device); target.service) {
        target.service->reset(target.device);
    }
}

int MidiServiceChain::send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const Target target = find(device);
    return target.service ? target.service->send(target.device, status, data1, data2) : kSendDeviceNotOpen;
}

int MidiServiceChain::scheduleLeadMs(int device)
{
    const Target target = find(device);
    return target.service ? target.service->scheduleLeadMs(target.device) : 0;
}

int MidiServiceChain::sendAt(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                             std::uint32_t dueMs)
{
    const Target target = find(device);
    return target.service ? target.service->sendAt(target.device, status, data1, data2, dueMs) : kSendDeviceNotOpen;
}

int MidiServiceChain::takeBack(int device)
{
    const Target target = find(device);
    return target.service ? target.service->takeBack(target.device) : 0;
}

bool MidiServiceChain::connected(int device)
{
    const Target target = find(device);
    return target.service && target.service->connected(target.device);
}

int MidiServiceChain::cycleTarget(int device)
{
    const Target target = find(device);
    return target.service ? target.service->cycleTarget(target.device) : -1;
}
