#pragma once

#include "playback/Clock.h"
#include "playback/PlaybackSession.h"

#include <memory>
#include <optional>

class AppState;
class PlaybackObserver;

// The index that `step` places on from `index` (+1 Next, -1 Previous) leads
// to in a playlist of `count` files. Past the last file the playlist ends,
// unless it repeats from the first; before the first it holds at the first,
// unless it repeats from the last.
std::optional<int> followingFile(int index, int count, int step, bool repeat);

// Plays the file at AppState::playingIndex of the playlist (or, when that is
// -1, the current file alone), then the files that Next, Previous and the
// whole-playlist mode lead to, one session each, every one from its lead-in.
// Like the session it is a function of the current time: the song that
// follows starts within the pass that ended the one before, on `clock`.
//
// The file that follows is reckoned from where the song's file is in the
// playlist when the song ends (AppState::playingIndex, which an edit of the
// list moves); a song whose file was removed from the list ends the run.
//
// A file that cannot be played (no notes on the channel, not a MIDI file)
// keeps its status text; the whole playlist goes on past it, and stops when
// no file of a whole round could be played. Stop, a controller trouble, or
// the end of a playlist that does not go on clear `playing` and end the run.
class PlaylistRun {
public:
    PlaylistRun(AppState& state, PlaybackObserver& observer, SongLoad load, MsClock clock);

    // Starts the first song; false when nothing plays.
    bool start();
    PlaybackSession::PassResult pass(std::uint32_t now);

    // The song being played; null once the run has ended.
    const PlaybackSession* session() const { return m_session.get(); }

private:
    // Starts the file at `index`, or the one the whole playlist goes on with
    // when it cannot be played.
    bool startAt(int index);
    bool end();

    AppState& m_state;
    PlaybackObserver& m_observer;
    SongLoad m_load;
    MsClock m_clock;
    std::unique_ptr<PlaybackSession> m_session;
};
