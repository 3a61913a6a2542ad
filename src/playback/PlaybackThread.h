#pragma once

#include "playback/PlaybackSession.h"

// The playback worker: runs a PlaylistRun with the real clock until it
// ends. Between passes it sleeps until the next entry is due or the shared
// state changes, whichever comes first; it never spins. Reports finished()
// last, after the coil has been silenced.
void playbackThread(AppState& state, PlaybackObserver& observer);
// The same with the notes from `load` instead of loadRigSong.
void playbackThreadWith(AppState& state, PlaybackObserver& observer, const SongLoad& load);
