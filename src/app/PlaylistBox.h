#pragma once

#include "app/Playlist.h"

#include <functional>
#include <optional>
#include <string>

class QListWidget;
class QListWidgetItem;

// The playlist as its list box shows it: one row per line of the Playlist,
// each carrying the index of its path (Qt::UserRole), and the file that
// plays marked (bold, a play or pause sign, and "Playing" or "Paused" for
// screen readers). A file's row shows its name and, once known, its length
// (playlistRowText) and whether it has song settings, the full path in its tooltip, and is greyed while the
// file is not there. The one place that makes a row. GUI thread only.
class PlaylistBox {
public:
    // The length of a file's song when it is known.
    using LengthOf = std::function<std::optional<int>(const std::string& path)>;
    // Whether a file's song has song settings, as far as is known.
    using MarkOf = std::function<bool(const std::string& path)>;

    // `box` and `playlist` must outlive this.
    PlaylistBox(QListWidget* box, const Playlist& playlist, LengthOf lengthOf, MarkOf markOf)
        : m_box(box), m_playlist(playlist), m_lengthOf(std::move(lengthOf)), m_markOf(std::move(markOf))
    {
    }

    // The playlist's lines, afresh.
    void showLines();
    // The playlist's last line below the rows there are (after
    // Playlist::append; all of them when it emptied the box).
    void showLastLine(bool boxEmptied);
    // Marks the row of the playlist's path at `index` (none when negative).
    void markPlaying(int index, bool paused);
    // Highlights the row of the path at `index`, if a row shows it.
    void select(int index);

    // The length of `path` or its settings became known, or the file may have come or
    // gone: its rows show it.
    void refresh(const std::string& path);

private:
    void addRow(const Playlist::Line& line);
    void describe(QListWidgetItem* item, const std::string& path);

    QListWidget* m_box;
    const Playlist& m_playlist;
    LengthOf m_lengthOf;
    MarkOf m_markOf;
};
