#pragma once

#include "midiout/MidiService.h"

#include <memory>
#include <mutex>
#include <vector>

// Several services seen as one: the devices of the first, then those of the
// second, and so on, numbered in that order as of the latest deviceCount().
// A call for a device goes to the service that has it, without holding this
// object's lock, so a slow close on one service does not hold up the others.
// Thread-safe when the services are.
class MidiServiceChain : public MidiService {
public:
    explicit MidiServiceChain(std::vector<std::shared_ptr<MidiService>> services);

    int deviceCount() override;
    std::string productName(int device) override;
    bool open(int device) override;
    void close(int device) override;
    void reset(int device) override;
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    int scheduleLeadMs(int device) override;
    int sendAt(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2, std::uint32_t dueMs) override;
    int takeBack(int device) override;
    bool connected(int device) override;
    int cycleTarget(int device) override;

private:
    struct Target {
        MidiService* service = nullptr;  // null: no such device
        int device = -1;
    };
    Target find(int device) const;

    const std::vector<std::shared_ptr<MidiService>> m_services;
    mutable std::mutex m_mutex;
    std::vector<int> m_counts;  // per service, as of the latest count
};
