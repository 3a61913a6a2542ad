#include "playback/PlaylistRun.h"

#include "playback/AppState.h"
#include "playback/PlaybackObserver.h"

#include <algorithm>
#include <utility>

std::optional<int> followingFile(int index, int count, int step, bool repeat)
{
    if (count <= 0) {
        return std::nullopt;
    }
    const int target = index + step;
    if (repeat) {
        return ((target % count) + count) % count;
    }
    if (target >= count) {
        return std::nullopt;
    }
    return std::max(target, 0);
}

PlaylistRun::PlaylistRun(AppState& state, PlaybackObserver& observer, SongLoad load, MsClock clock)
    : m_state(state), m_observer(observer), m_load(std::move(load)), m_clock(std::move(clock))
{
}

bool PlaylistRun::start()
{
    return startAt(m_state.playingIndex.load());
}

bool PlaylistRun::startAt(int index)
{
    for (int tried = 0;; ++tried) {
        const int count = static_cast<int>(m_state.playlist()->size());
        const std::optional<std::string> file = m_state.enterPlaylistFile(index);
        const bool listed = file.has_value();
        if (listed) {
            m_state.setCurrentFileName(*file);
            m_observer.nowPlaying(index);
        }
        m_session = std::make_unique<PlaybackSession>(m_state, m_observer, m_load);
        if (m_session->start(m_clock)) {
            return true;
        }
        const bool goesOn = listed && m_session->ending() == PlaybackSession::Ending::Refused &&
                            m_state.wholePlaylist.load() != 0 && tried + 1 < count;
        const auto following = goesOn ? followingFile(index, count, 1, m_state.repeatPlaylist.load() != 0) : std::nullopt;
        if (!following || m_state.stopRequested.load()) {
            return end();
        }
        // The refusal cleared `playing`; Stop since then has raised
        // stopRequested, which the next start finds.
        m_state.playing.store(1);
        index = *following;
    }
}

PlaybackSession::PassResult PlaylistRun::pass(std::uint32_t now)
{
    if (m_session == nullptr) {
        return {false, std::nullopt};
    }
    const auto result = m_session->pass(now);
    if (result.goesOn) {
        return result;
    }
    const int count = static_cast<int>(m_state.playlist()->size());
    const bool repeat = m_state.repeatPlaylist.load() != 0;
    // Where the song's file is now: the playlist may have been edited while
    // it played.
    const int index = m_state.playingIndex.load();
    std::optional<int> following;
    if (index >= 0 && m_session->ending() == PlaybackSession::Ending::Stepped) {
        following = followingFile(index, count, m_session->step(), repeat);
    } else if (index >= 0 && m_session->ending() == PlaybackSession::Ending::RanOut &&
               m_state.wholePlaylist.load() != 0) {
        following = followingFile(index, count, 1, repeat);
    }
    m_session.reset();
    if (!following || m_state.stopRequested.load()) {
        end();
        return {false, std::nullopt};
    }
    // A seek or restart asked of the song that ended is not the next one's.
    m_state.takeSeek();
    m_state.restartRequested.store(0);
    m_state.playing.store(1);
    if (!startAt(*following)) {
        return {false, std::nullopt};
    }
    return {true, now};
}

bool PlaylistRun::end()
{
    m_session.reset();
    m_state.playing.store(0);
    return false;
}
