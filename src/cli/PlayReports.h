#pragma once

#include "playback/PlaybackObserver.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class AppState;

// The worker's reports, kept for the main thread, which prints the lines in
// the order they came (over the progress bar, on a terminal): the core's
// lines as each song is read, the status texts that do not repeat one of
// them, and "Playing 2 of 3: FILE" as each file after the first starts.
class PlayReports : public PlaybackObserver {
public:
    // `files` as given on the command line; `fromMs`, the place the first
    // file is to start from (--from): a first song that ends before it stops
    // the run at once (fromPastEnd).
    PlayReports(AppState& state, std::vector<std::string> files, std::optional<int> fromMs);

    void diagnostic(const std::string& line) override;
    void statusText(const std::string& text) override;
    void songStarted(int totalMs) override;
    void songLength(int totalMs) override { m_totalMs.store(totalMs); }
    void progress(int position) override { m_progress.store(position); }
    void songTime(int elapsedMs) override { m_elapsedMs.store(elapsedMs); }
    void nowPlaying(int index) override;
    void finished() override { m_finished.store(true); }
    void controllerLost() override { m_lost.store(true); }

    // The lines to print since the last call, oldest first.
    std::vector<std::string> takeLines();
    int position() const { return m_progress.load(); }
    int totalMs() const { return m_totalMs.load(); }
    int elapsedMs() const { return m_elapsedMs.load(); }
    bool started() const { return m_started.load(); }
    bool hasFinished() const { return m_finished.load(); }
    // The controller could not be opened or went away: the play failed.
    bool controllerWasLost() const { return m_lost.load(); }
    // The first song's length (ms) when --from lay past it.
    std::optional<int> fromPastEnd() const;

private:
    AppState& m_state;
    const std::vector<std::string> m_files;
    const std::optional<int> m_fromMs;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::set<std::string> m_coreLines;  // every line of the core so far
    int m_announced = 0;
    std::optional<int> m_fromPastEnd;
    std::atomic<int> m_progress{0};
    std::atomic<int> m_totalMs{0};
    std::atomic<int> m_elapsedMs{0};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_lost{false};
};
