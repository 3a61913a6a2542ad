#include "playback/AppState.h"

#include <utility>

void AppState::setCurrentFileName(std::string fileName)
{
    std::lock_guard lock(m_mutex);
    m_currentFileName = std::move(fileName);
}

std::string AppState::currentFileName() const
{
    std::lock_guard lock(m_mutex);
    return m_currentFileName;
}

void AppState::setControllerName(std::string name)
{
    std::lock_guard lock(m_mutex);
    m_controllerName = std::move(name);
}

std::string AppState::controllerName() const
{
    std::lock_guard lock(m_mutex);
    return m_controllerName;
}

void AppState::setOptions(const PlaybackOptions& options)
{
    auto snapshot = std::make_shared<const PlaybackOptions>(options);
    std::lock_guard lock(m_mutex);
    m_options = std::move(snapshot);
}

std::shared_ptr<const PlaybackOptions> AppState::options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

void AppState::setRig(std::optional<Rig> rig)
{
    auto snapshot = rig ? std::make_shared<const Rig>(std::move(*rig)) : nullptr;
    std::lock_guard lock(m_mutex);
    m_rig = std::move(snapshot);
}

std::shared_ptr<const Rig> AppState::rig() const
{
    std::lock_guard lock(m_mutex);
    return m_rig;
}

void AppState::requestPlay(std::string file, int index, const PlaybackOptions& options)
{
    stopRequested.store(false);
    playing.store(1);
    paused.store(0);
    setCurrentFileName(std::move(file));
    playingIndex.store(index);
    setOptions(options);
    notifyChange();
}

void AppState::requestStop()
{
    playing.store(0);
    stopRequested.store(true);
    notifyChange();
}

void AppState::requestPause()
{
    if (playing.load() == 0) {
        return;
    }
    paused.store(1);
    pauseStartPending.store(1);
    notifyChange();
}

void AppState::requestResume()
{
    // A pause start still pending was never served: the coil was not
    // silenced and the song's clock never stopped, so there is nothing to
    // shift. Dropped first, while `paused` still keeps the worker out of
    // the running part of its pass.
    pauseStartPending.store(0);
    // The request before `paused` clears: a pass that finds `paused` clear
    // must find it too, or it plays on unshifted and sends every note due
    // during the pause at once.
    resumeRequested.store(1);
    paused.store(0);
    notifyChange();
}

void AppState::requestRestart()
{
    restartRequested.store(1);
    notifyChange();
}

void AppState::moveVolume(int position)
{
    volumePosition.store(position);
    pendingVolume.store(127 - position);
    notifyChange();
}

void AppState::setWholePlaylist(bool on)
{
    wholePlaylist.store(on ? 1 : 0);
    notifyChange();
}

void AppState::setRepeatPlaylist(bool on)
{
    repeatPlaylist.store(on ? 1 : 0);
    notifyChange();
}

void AppState::requestSeek(std::int32_t positionMs)
{
    {
        std::lock_guard lock(m_mutex);
        m_seek = SeekRequest{false, positionMs};
    }
    notifyChange();
}

void AppState::requestSeekBy(std::int32_t deltaMs)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_seek) {
            m_seek->ms += deltaMs;
        } else {
            m_seek = SeekRequest{true, deltaMs};
        }
    }
    notifyChange();
}

std::optional<AppState::SeekRequest> AppState::takeSeek()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_seek, std::nullopt);
}

void AppState::requestSpeed(std::int32_t percent)
{
    {
        std::lock_guard lock(m_mutex);
        m_speed = SpeedRequest{percent, 0};
    }
    notifyChange();
}

void AppState::requestSpeedStep(std::int32_t steps)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_speed) {
            m_speed = SpeedRequest{};
        }
        m_speed->steps += steps;
    }
    notifyChange();
}

std::optional<AppState::SpeedRequest> AppState::takeSpeed()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_speed, std::nullopt);
}

void AppState::setLoop(const LoopRequest& loop)
{
    {
        std::lock_guard lock(m_mutex);
        m_loop = loop;
    }
    notifyChange();
}

std::optional<AppState::LoopRequest> AppState::takeLoop()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_loop, std::nullopt);
}

void AppState::setSongChoices(const SongChoices& choices)
{
    std::lock_guard lock(m_mutex);
    m_songChoices = choices;
}

AppState::SongChoices AppState::songChoices() const
{
    std::lock_guard lock(m_mutex);
    return m_songChoices;
}

void AppState::requestStep(int step)
{
    if (playing.load() == 0) {
        return;
    }
    // The song that follows plays from its lead-in, not paused. The step
    // goes first: a pass that finds `paused` clear finds it too and ends the
    // song instead of playing on what fell due during the pause.
    stepRequested.fetch_add(step);
    pauseStartPending.store(0);
    paused.store(0);
    notifyChange();
}

void AppState::setPlaylist(std::vector<std::string> files)
{
    auto snapshot = std::make_shared<const std::vector<std::string>>(std::move(files));
    std::lock_guard lock(m_mutex);
    m_playlist = std::move(snapshot);
}

std::shared_ptr<const std::vector<std::string>> AppState::playlist() const
{
    std::lock_guard lock(m_mutex);
    return m_playlist;
}

void AppState::editPlaylist(std::vector<std::string> files, const std::vector<int>& newIndexOf)
{
    auto snapshot = std::make_shared<const std::vector<std::string>>(std::move(files));
    std::lock_guard lock(m_mutex);
    m_playlist = std::move(snapshot);
    const int index = playingIndex.load();
    if (index >= 0 && index < static_cast<int>(newIndexOf.size())) {
        playingIndex.store(newIndexOf[static_cast<std::size_t>(index)]);
    }
}

std::optional<std::string> AppState::enterPlaylistFile(int index)
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_playlist->size())) {
        playingIndex.store(-1);
        return std::nullopt;
    }
    playingIndex.store(index);
    return (*m_playlist)[static_cast<std::size_t>(index)];
}
