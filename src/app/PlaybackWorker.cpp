#include "app/PlaybackWorker.h"

#include "playback/AppState.h"
#include "playback/PlaybackThread.h"

PlaybackWorker::PlaybackWorker(AppState& state, PlaybackObserver& observer, Ended ended)
    : m_state(state), m_observer(observer), m_ended(std::move(ended)), m_owner([&state] { state.requestStop(); })
{
}

void PlaybackWorker::start()
{
    ++m_started;
    m_owner.start([&state = m_state, &observer = m_observer, load = m_load, ended = m_ended](auto generation) {
        playbackThreadWith(state, observer, load);
        ended(generation);
    });
}
