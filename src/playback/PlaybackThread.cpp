#include "playback/PlaybackThread.h"

#include "platform/WorkerThread.h"
#include "playback/AppState.h"
#include "playback/Clock.h"
#include "playback/PlaybackObserver.h"
#include "playback/PlaylistRun.h"

#include <chrono>

void playbackThread(AppState& state, PlaybackObserver& observer)
{
    playbackThreadWith(state, observer, loadRigSong);
}

void playbackThreadWith(AppState& state, PlaybackObserver& observer, const SongLoad& load)
{
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    const TimedWorkerScope standing("quillarc-play");
    {
        PlaylistRun run(state, observer, load, nowMs);
        if (run.start()) {
            while (true) {
                const std::uint64_t seen = state.changeCount();
                const auto result = run.pass(nowMs());
                if (!result.goesOn) {
                    break;
                }
                if (!result.wakeAt) {
                    state.waitForChange(seen);
                    continue;
                }
                // Wake at the start of the millisecond in which the pass is due.
                const auto sinceEpoch = std::chrono::duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
                const auto delay = static_cast<std::int32_t>(*result.wakeAt - static_cast<std::uint32_t>(sinceEpoch.count()));
                if (delay > 0) {
                    state.waitForChange(seen, steady_clock::time_point(sinceEpoch + milliseconds(delay)));
                }
            }
        }
    }
    observer.finished();
}
