#pragma once

#include "midiout/MidiOutPort.h"
#include "midiout/VirtualMidiService.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::array<std::uint8_t, 3>;
using Kind = VirtualMidiService::Record::Kind;

// Installs in-memory devices with these names as the platform layer; every
// output object of the previous test must be gone.
inline std::shared_ptr<VirtualMidiService> installVirtualDevices(std::vector<std::string> names)
{
    auto service = std::make_shared<VirtualMidiService>(std::move(names));
    EXPECT_TRUE(MidiOutPort::installService(service)) << "an output object outlived its test";
    return service;
}

// The records of one kind for one device.
inline int countRecords(const VirtualMidiService& service, Kind kind, int device)
{
    int count = 0;
    for (const auto& record : service.records()) {
        count += record.kind == kind && record.device == device ? 1 : 0;
    }
    return count;
}
