#include "app/Transport.h"

#include "app/Playlist.h"
#include "app/StatusTexts.h"
#include "playback/AppState.h"

#include <cstdint>

PlayStep decidePlay(const AppState& state, const Playlist& playlist)
{
    if (!playlist.fileLoaded()) {
        return PlayStep::RefuseNoFile;
    }
    // A rig file's coils are looked up by the session itself, which names a
    // missing one.
    if (state.controllerPort.load() < 0 && state.rig() == nullptr) {
        return PlayStep::RefuseNoController;
    }
    if (state.playing.load() != 0) {
        return state.paused.load() != 0 ? PlayStep::Resume : PlayStep::Ignore;
    }
    return PlayStep::StartWorker;
}

std::optional<std::string> playRefusalText(PlayStep step)
{
    switch (step) {
    case PlayStep::RefuseNoFile:
        return kNoFileLoadedText;
    case PlayStep::RefuseNoController:
        return kNoControllerText;
    case PlayStep::Resume:
    case PlayStep::Ignore:
    case PlayStep::StartWorker:
        break;
    }
    return std::nullopt;
}

void beginPlayback(AppState& state, Playlist& playlist, const PlaybackOptions& options)
{
    std::string file = playlist.startPlaying();
    state.requestPlay(std::move(file), playlist.currentFile(), options);
}

int sliderSeekMs(int position, int totalMs)
{
    return static_cast<int>(static_cast<std::int64_t>(position) * totalMs / 127);
}

std::optional<std::string> fixedModeRefusal(const AppState& state)
{
    if (state.controllerPort.load() < 0 && !state.rig()) {
        return kNoControllerText;
    }
    if (state.paused.load() != 0 || state.playing.load() != 0) {
        return kSongBusyText;
    }
    return std::nullopt;
}
