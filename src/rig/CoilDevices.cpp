#include "rig/CoilDevices.h"

#include "base/ArgCursor.h"

std::optional<DeviceChoice> parseDeviceChoice(std::string_view device)
{
    const std::size_t mark = device.rfind(" #");
    const std::string_view digits = mark == std::string_view::npos ? std::string_view() : device.substr(mark + 2);
    const bool numbered = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (!numbered) {
        return device.empty() ? std::nullopt : std::optional(DeviceChoice{std::string(device), 1});
    }
    const std::optional<std::int32_t> ordinal = parseNumber<std::int32_t>(digits);
    const std::string_view name = device.substr(0, mark);
    if (!ordinal || *ordinal < 1 || name.empty()) {
        return std::nullopt;
    }
    return DeviceChoice{std::string(name), *ordinal};
}

std::optional<std::int32_t> findCoilDevice(std::string_view device, const std::vector<std::string>& productNames)
{
    const std::optional<DeviceChoice> choice = parseDeviceChoice(device);
    std::int32_t seen = 0;
    for (std::size_t i = 0; choice && i < productNames.size(); ++i) {
        if (productNames[i] == choice->productName && ++seen == choice->ordinal) {
            return static_cast<std::int32_t>(i);
        }
    }
    return std::nullopt;
}

std::vector<std::optional<std::int32_t>> coilDevices(const Rig& rig, const std::vector<std::string>& productNames)
{
    std::vector<std::optional<std::int32_t>> devices;
    for (const Coil& coil : rig.coils) {
        devices.push_back(findCoilDevice(coil.device, productNames));
    }
    return devices;
}

std::optional<std::string> missingCoilError(const Rig& rig, const std::vector<std::optional<std::int32_t>>& devices)
{
    for (std::size_t i = 0; i < rig.coils.size(); ++i) {
        if (i >= devices.size() || !devices[i]) {
            return "Error: coil " + rig.coils[i].name + " not found (" + rig.coils[i].device + ')';
        }
    }
    return std::nullopt;
}
