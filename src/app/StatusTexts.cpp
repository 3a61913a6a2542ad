#include "app/StatusTexts.h"

#include "platform/Environment.h"

#include <algorithm>
#include <cstdio>

std::string controllerStatusText(int port)
{
    if (port < 0) {
        return kNoControllerText;
    }
    return "Found Quillarc USB controller on port " + std::to_string(port);
}

std::string rigStatusText(const Rig& rig, const std::vector<std::optional<std::int32_t>>& devices)
{
    const auto found = std::count_if(devices.begin(), devices.end(), [](const auto& device) { return device.has_value(); });
    std::string text = "Found " + std::to_string(found) + " of " + std::to_string(rig.coils.size()) +
                       (rig.coils.size() == 1 ? " coil" : " coils");
    const char* separator = ": ";
    for (std::size_t i = 0; i < rig.coils.size() && i < devices.size(); ++i) {
        if (!devices[i]) {
            text += separator + ("coil " + rig.coils[i].name + " not found (" + rig.coils[i].device + ')');
            separator = ", ";
        }
    }
    return text;
}

std::string clockText(int ms)
{
    const int seconds = std::max(ms, 0) / 1000;
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
    }
    return text;
}

std::string songTimeText(bool paused, int elapsedMs, int totalMs)
{
    return std::string(paused ? "Paused " : "Playing ") + clockText(elapsedMs) + " / " + clockText(totalMs);
}

std::string playlistRowText(const std::string& path, std::optional<int> lengthMs, bool songSettings)
{
    const std::string name = utf8FromPath(pathFromUtf8(path).filename());
    return (lengthMs ? name + " (" + clockText(*lengthMs) + ")" : name) + (songSettings ? " [settings]" : "");
}
