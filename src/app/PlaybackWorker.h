#pragma once

#include "base/WorkerOwner.h"
#include "playback/PlaybackSession.h"

#include <functional>

class AppState;
class PlaybackObserver;

// The panel's playback worker: a playlist run on a thread of its own, owned
// as every worker is (WorkerOwner). Stopping it before a join is Stop, whose
// flag also makes a worker still reading its song give up at once. The
// worker calls `ended` with its generation on its own thread as its very
// last act, after the coil has been silenced; the owning thread hands that
// generation back to joinEnded. Owning thread only.
class PlaybackWorker {
public:
    using Ended = std::function<void(WorkerOwner::Generation generation)>;

    // `state` and `observer` must outlive the worker.
    PlaybackWorker(AppState& state, PlaybackObserver& observer, Ended ended);

    // Where the next workers get their notes: loadRigSong unless replaced.
    void setSongLoader(SongLoad load) { m_load = std::move(load); }
    // Starts a worker on what AppState::requestPlay handed over, after
    // stopping and joining the one before.
    void start();
    void stopAndJoin() { m_owner.stopAndJoin(); }
    // The worker of `generation` reported its end: true (and joined) when
    // it is the current one, false for an earlier one.
    bool joinEnded(WorkerOwner::Generation generation) { return m_owner.joinEnded(generation); }

    bool running() const { return m_owner.running(); }
    // How many workers have been started.
    int started() const { return m_started; }

private:
    AppState& m_state;
    PlaybackObserver& m_observer;
    Ended m_ended;
    SongLoad m_load = loadRigSong;
    int m_started = 0;
    WorkerOwner m_owner;
};
