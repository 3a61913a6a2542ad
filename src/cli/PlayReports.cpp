#include "cli/PlayReports.h"

#include <utility>

void PlayReports::statusText(const std::string& text)
{
    if (m_coreLines.printed(text)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_pendingStatus.push_back(text);
}

void PlayReports::songStarted(int totalMs)
{
    m_totalMs.store(totalMs);
    m_elapsedMs.store(0);
    m_started.store(true);
}

std::vector<std::string> PlayReports::takeStatuses()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_pendingStatus, {});
}
