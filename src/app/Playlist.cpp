#include "app/Playlist.h"

#include "app/StatusTexts.h"

#include <algorithm>

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

Playlist::Moves Playlist::remove(int index)
{
    const int count = fileCount();
    Moves moves(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        moves[static_cast<std::size_t>(i)] = i < index ? i : i == index ? -1 : i - 1;
    }
    if (index < 0 || index >= count) {
        return moves;
    }
    m_paths.erase(m_paths.begin() + index);
    // The selection stays at its place: the next file takes it.
    if (m_selectedFile == index) {
        moves[static_cast<std::size_t>(index)] = std::min(index, fileCount() - 1);
    }
    rebuild(moves);
    moves[static_cast<std::size_t>(index)] = -1;
    return moves;
}

Playlist::Moves Playlist::clear()
{
    const Moves moves(m_paths.size(), -1);
    m_paths.clear();
    rebuild(moves);
    return moves;
}

std::optional<Playlist::Moves> Playlist::move(int index, int step)
{
    const int other = index + step;
    if (index < 0 || index >= fileCount() || other < 0 || other >= fileCount()) {
        return std::nullopt;
    }
    Moves moves(m_paths.size());
    for (std::size_t i = 0; i < moves.size(); ++i) {
        moves[i] = static_cast<int>(i);
    }
    std::swap(m_paths[static_cast<std::size_t>(index)], m_paths[static_cast<std::size_t>(other)]);
    std::swap(moves[static_cast<std::size_t>(index)], moves[static_cast<std::size_t>(other)]);
    rebuild(moves);
    return moves;
}

void Playlist::rebuild(const Moves& moves)
{
    const auto moved = [&moves](int index) {
        return index >= 0 && index < static_cast<int>(moves.size()) ? std::max(moves[static_cast<std::size_t>(index)], 0) : 0;
    };
    m_selectedFile = moved(m_selectedFile);
    m_currentFile = moved(m_currentFile);
    m_fileLoaded = !m_paths.empty();
    m_lines.clear();
    for (std::size_t i = 0; i < m_paths.size(); ++i) {
        m_lines.push_back({m_paths[i], static_cast<int>(i)});
    }
    if (m_paths.empty()) {
        m_lines.push_back({kNoFilesSelectedText, 0});
    }
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
