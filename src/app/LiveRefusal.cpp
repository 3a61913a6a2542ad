#include "app/LiveRefusal.h"

#include "app/StatusTexts.h"
#include "live/LiveSession.h"
#include "playback/AppState.h"

std::optional<std::string> liveModeRefusal(const AppState& state, int inputDevices)
{
    // A rig file's coils are looked for as live mode starts, each by name.
    if (state.controllerPort.load() < 0 && !state.rig()) {
        return kNoControllerText;
    }
    if (state.paused.load() != 0 || state.playing.load() != 0) {
        return kSongBusyLiveText;
    }
    if (inputDevices <= 0) {
        return kNoInputDevicesText;
    }
    return std::nullopt;
}
