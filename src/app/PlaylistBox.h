#pragma once

#include "app/Playlist.h"

#include <optional>

class QListWidget;

// The playlist as its list box shows it: one row per line of the Playlist,
// each carrying the index of its path (Qt::UserRole), and the file that
// plays marked (bold, a play or pause sign, and "Playing" or "Paused" for
// screen readers). The one place that makes a row. GUI thread only.
class PlaylistBox {
public:
    // `box` and `playlist` must outlive this.
    PlaylistBox(QListWidget* box, const Playlist& playlist) : m_box(box), m_playlist(playlist) {}

    // The playlist's lines, afresh.
    void showLines();
    // The playlist's last line below the rows there are (after
    // Playlist::append; all of them when it emptied the box).
    void showLastLine(bool boxEmptied);
    // Marks the row of the playlist's path at `index` (none when negative).
    void markPlaying(int index, bool paused);
    // Highlights the row of the path at `index`, if a row shows it.
    void select(int index);

private:
    void addRow(const Playlist::Line& line);

    QListWidget* m_box;
    const Playlist& m_playlist;
};
