#pragma once

#include "rig/Rig.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which output device each coil of a rig plays on, from the product names of
// the devices in device order. Pure: the caller lists the devices.

// A coil's device as typed: a product name and which device of that name it
// is, 1 being the first. "Bass Coil #2" is the second device named "Bass
// Coil"; a name without a " #N" ending is the first of that exact name.
struct DeviceChoice {
    std::string productName;
    std::int32_t ordinal = 1;
    friend bool operator==(const DeviceChoice&, const DeviceChoice&) = default;
};

// Nothing for an empty name, or for " #N" with N below 1 or past 32 bits.
std::optional<DeviceChoice> parseDeviceChoice(std::string_view device);

// The index in `productNames` of the device `device` names; nothing when there
// are not that many devices of its name (or it does not parse).
std::optional<std::int32_t> findCoilDevice(std::string_view device, const std::vector<std::string>& productNames);

// Each coil's device index, in rig order; nothing for a coil whose device is
// missing.
std::vector<std::optional<std::int32_t>> coilDevices(const Rig& rig, const std::vector<std::string>& productNames);

// "Error: coil NAME not found (DEVICE)" for the first coil whose device is
// missing in `devices` (as coilDevices gives them); nothing when all are there.
std::optional<std::string> missingCoilError(const Rig& rig, const std::vector<std::optional<std::int32_t>>& devices);
