#include "cli/PlayReports.h"

#include "playback/AppState.h"

#include <utility>

PlayReports::PlayReports(AppState& state, std::vector<std::string> files, std::optional<int> fromMs)
    : m_state(state), m_files(std::move(files)), m_fromMs(fromMs)
{
}

void PlayReports::diagnostic(const std::string& line)
{
    const std::lock_guard lock(m_mutex);
    m_coreLines.insert(line);
    m_lines.push_back(line);
}

void PlayReports::statusText(const std::string& text)
{
    const std::lock_guard lock(m_mutex);
    // The session repeats the reader's first line when a read failed.
    if (m_coreLines.count(text) == 0) {
        m_lines.push_back(text);
    }
}

void PlayReports::nowPlaying(int index)
{
    const std::lock_guard lock(m_mutex);
    if (index > m_announced && index < static_cast<int>(m_files.size())) {
        m_announced = index;
        m_lines.push_back("Playing " + std::to_string(index + 1) + " of " + std::to_string(m_files.size()) + ": " +
                          m_files[static_cast<std::size_t>(index)]);
    }
}

void PlayReports::songStarted(int totalMs)
{
    if (!m_started.load() && m_fromMs && *m_fromMs > totalMs) {
        {
            const std::lock_guard lock(m_mutex);
            m_fromPastEnd = totalMs;
        }
        m_state.requestStop();
    }
    m_totalMs.store(totalMs);
    m_elapsedMs.store(0);
    m_started.store(true);
}

std::vector<std::string> PlayReports::takeLines()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_lines, {});
}

std::optional<int> PlayReports::fromPastEnd() const
{
    const std::lock_guard lock(m_mutex);
    return m_fromPastEnd;
}
