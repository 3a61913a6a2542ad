#pragma once

#include "cli/SongCommand.h"
#include "playback/PlaybackObserver.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// The worker's reports, kept for the main thread to show. A status that the
// core has printed already is dropped.
class PlayReports : public PlaybackObserver {
public:
    explicit PlayReports(const CoreOutputOnStderr& coreLines) : m_coreLines(coreLines) {}

    void statusText(const std::string& text) override;
    void songStarted(int totalMs) override;
    void progress(int position) override { m_progress.store(position); }
    void songTime(int elapsedMs) override { m_elapsedMs.store(elapsedMs); }
    void nowPlaying(int index) override { m_playingIndex.store(index); }
    void finished() override { m_finished.store(true); }
    void controllerLost() override { m_lost.store(true); }

    std::vector<std::string> takeStatuses();
    int position() const { return m_progress.load(); }
    int totalMs() const { return m_totalMs.load(); }
    int elapsedMs() const { return m_elapsedMs.load(); }
    // Index of the file being played among those given, -1 before the first.
    int playingIndex() const { return m_playingIndex.load(); }
    bool started() const { return m_started.load(); }
    bool hasFinished() const { return m_finished.load(); }
    // The controller could not be opened or went away: the play failed.
    bool controllerWasLost() const { return m_lost.load(); }

private:
    const CoreOutputOnStderr& m_coreLines;
    std::mutex m_mutex;
    std::vector<std::string> m_pendingStatus;
    std::atomic<int> m_progress{0};
    std::atomic<int> m_totalMs{0};
    std::atomic<int> m_elapsedMs{0};
    std::atomic<int> m_playingIndex{-1};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_lost{false};
};
