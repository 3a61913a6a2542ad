#include "app/Playlist.h"

#include "app/StatusTexts.h"

Playlist::Playlist() : m_lines{{kNoFilesSelectedText, 0}}
{
}

void Playlist::clearLines()
{
    m_lines.clear();
}

void Playlist::replace(std::vector<std::string> paths)
{
    m_paths = std::move(paths);
    m_lines.clear();
    for (std::size_t i = 0; i < m_paths.size(); ++i) {
        m_lines.push_back({m_paths[i], static_cast<int>(i)});
    }
    if (!m_paths.empty()) {
        m_fileLoaded = true;
    }
    m_selectedFile = 0;
    m_currentFile = 0;
}

bool Playlist::append(std::string path)
{
    const bool emptied = m_paths.empty();
    if (emptied) {
        m_lines.clear();
    }
    m_lines.push_back({path, static_cast<int>(m_paths.size())});
    m_paths.push_back(std::move(path));
    m_fileLoaded = true;
    return emptied;
}

std::optional<std::string> Playlist::selectLine(int row)
{
    if (row < 0 || row >= static_cast<int>(m_lines.size())) {
        return std::nullopt;
    }
    m_selectedFile = m_lines[static_cast<std::size_t>(row)].index;
    if (!m_fileLoaded) {
        return std::nullopt;
    }
    return m_paths.at(static_cast<std::size_t>(m_selectedFile));
}

std::string Playlist::startPlaying()
{
    m_currentFile = m_selectedFile;
    return m_paths.at(static_cast<std::size_t>(m_currentFile));
}

std::optional<int> Playlist::rowOf(int index) const
{
    if (m_paths.empty()) {
        return std::nullopt;
    }
    for (std::size_t row = 0; row < m_lines.size(); ++row) {
        if (m_lines[row].index == index) {
            return static_cast<int>(row);
        }
    }
    return std::nullopt;
}
