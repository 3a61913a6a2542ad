#pragma once

#include <optional>
#include <string>
#include <vector>

// The files the user has chosen, and the lines the playlist box shows.
//
// Paths and lines are kept apart on purpose: "Open..." empties the box before
// its file dialog, so a cancelled Open leaves an empty box while the earlier
// paths (and the selection into them) stay in force. Each line carries the
// index of the path it shows. There is no limit on the number of entries or
// on the length of a path.
class Playlist {
public:
    struct Line {
        std::string text;
        // Index of the path the line stands for (0 for the placeholder).
        int index = 0;
    };

    // One line, "No files selected".
    Playlist();

    // "Open...", before its dialog: the box is emptied.
    void clearLines();
    // "Open..." chosen: the paths replace the playlist in the given order,
    // each gets a line, the first is selected and becomes the current file.
    void replace(std::vector<std::string> paths);
    // "Add..." chosen (or a file dropped): the path goes at the end with a
    // line of its own; on an empty playlist the box is emptied first, which
    // removes "No files selected". Returns true when the box was emptied.
    bool append(std::string path);

    // Where the paths went in an edit: the file at index i before is at
    // index moves[i] after, -1 when it was removed.
    using Moves = std::vector<int>;
    // Removes the path at `index` (none outside the list). The selection
    // stays at its place, which the next file takes (the new last one when
    // the last was removed); the placeholder comes back with the last path.
    Moves remove(int index);
    // Removes every path: the placeholder alone, as at start.
    Moves clear();
    // Swaps the path at `index` with the one `step` (-1 or +1) away, nothing
    // when either is outside the list; the selection follows its file.
    std::optional<Moves> move(int index, int step);

    // The user selected the line at `row` of the box. Returns the text for
    // the status bar: the selected path once any file has been chosen.
    std::optional<std::string> selectLine(int row);

    // Play from idle: the selected file becomes the one being played; returns
    // its path.
    std::string startPlaying();

    const std::vector<Line>& lines() const { return m_lines; }
    // The row of the box that shows the path at `index`, if any does.
    std::optional<int> rowOf(int index) const;
    const std::vector<std::string>& paths() const { return m_paths; }
    int fileCount() const { return static_cast<int>(m_paths.size()); }
    const std::string& path(int index) const { return m_paths.at(static_cast<std::size_t>(index)); }
    // Set once a file was chosen; cleared when the last path is removed.
    bool fileLoaded() const { return m_fileLoaded; }
    // Index of the selected path, handed to the next playback.
    int selectedFile() const { return m_selectedFile; }
    // Index of the path handed to the latest playback.
    int currentFile() const { return m_currentFile; }

private:
    // After an edit: a line for each path (the placeholder for none), the
    // selection and the current file where `moves` took them.
    void rebuild(const Moves& moves);

    std::vector<std::string> m_paths;
    std::vector<Line> m_lines;
    bool m_fileLoaded = false;
    int m_selectedFile = 0;
    int m_currentFile = 0;
};
