#pragma once

#include "app/SongClock.h"

#include <QElapsedTimer>
#include <QObject>

class AnalysisWindows;
class Playlist;
class PlaylistBox;
class QLabel;
class QStatusBar;
class QString;
class QTimer;

// What plays, as the main window shows it, fed by the playback worker's
// reports: the song's clock and its permanent label ("Playing 1:23 / 3:45"),
// the playing entry marked in the playlist box, the playhead of the analysis
// windows (moved five times a second from the clock), and a permanent field
// with what the coil limits did to the last song. GUI thread only.
class SongDisplay : public QObject {
public:
    // Adds its three fields to `bar`; everything given must outlive it.
    SongDisplay(QStatusBar* bar, const Playlist& playlist, PlaylistBox& rows, AnalysisWindows& analysis,
                QObject* parent);

    // A song of `totalMs` started, paused or not.
    void started(int totalMs, bool paused);
    // The song's speed changed: it is `totalMs` long now.
    void lengthChanged(int totalMs);
    // The song's time now, between the worker's reports.
    int elapsedNow() const { return m_clock.at(m_monotonic.elapsed()); }
    // The song's clock as the worker reported it.
    void time(int elapsedMs);
    void ended();
    // Pause or Play may have changed the paused flag.
    void setPaused(bool paused);
    // Marks the playlist's file at `index` as the one that plays (none when
    // negative).
    void markPlaying(int index);
    // What the coil limits did to the song that ended; empty clears it.
    void showLimits(const QString& text);
    // What the check of the song found wrong ("" for nothing), until the
    // next Play.
    void showCheck(const QString& text);

    // The playlist index of the file being played, -1 when none plays.
    int playingIndex() const { return m_playingIndex; }
    const SongClock& clock() const { return m_clock; }

private:
    void showTime();
    void movePlayhead();

    const Playlist& m_playlist;
    PlaylistBox& m_rows;
    AnalysisWindows& m_analysis;
    QLabel* m_timeLabel;
    QLabel* m_limitsLabel;
    QLabel* m_checkLabel;
    QTimer* m_playheadTimer;
    QElapsedTimer m_monotonic;
    SongClock m_clock;
    int m_playingIndex = -1;
};
