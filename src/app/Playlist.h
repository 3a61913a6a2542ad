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
    // Set once a file was chosen; never cleared.
    bool fileLoaded() const { return m_fileLoaded; }
    // Index of the selected path, handed to the next playback.
    int selectedFile() const { return m_selectedFile; }
    // Index of the path handed to the latest playback.
    int currentFile() const { return m_currentFile; }

private:
    std::vector<std::string> m_paths;
    std::vector<Line> m_lines;
    bool m_fileLoaded = false;
    int m_selectedFile = 0;
    int m_currentFile = 0;
};
