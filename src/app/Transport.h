#pragma once

#include <optional>
#include <string>

class AppState;
class Playlist;
struct PlaybackOptions;

// The transport commands of the main window as changes of the shared state.
// GUI thread only; each change is followed by AppState::notifyChange so that
// a waiting worker sees it at once.

// What Play is to do in the present state.
enum class PlayStep {
    RefuseNoFile,        // show "No file loaded"
    RefuseNoController,  // no rig file and no controller: show "Error: no compatible controller found"
    Resume,              // playing and paused: AppState::requestResume
    Ignore,              // playing and not paused
    StartWorker,         // not playing (paused or not): beginPlayback, then start a worker
};

PlayStep decidePlay(const AppState& state, const Playlist& playlist);
// The refusal text of a refusing step, nothing for the others.
std::optional<std::string> playRefusalText(PlayStep step);

// Play from idle: the selected file becomes the playlist's current one and
// goes to AppState::requestPlay with its place in the playlist and the
// options. Pause, resume, stop, restart and the volume are requests on
// AppState itself.
void beginPlayback(AppState& state, Playlist& playlist, const PlaybackOptions& options);

// Where a seek with the progress slider goes: the song's time at slider
// position `position` (0..127) of a song of `totalMs`, position x total / 127
// cut to the millisecond.
int sliderSeekMs(int position, int totalMs);

// Why the Fixed Mode dialog may not open now, or nothing when it may.
std::optional<std::string> fixedModeRefusal(const AppState& state);
