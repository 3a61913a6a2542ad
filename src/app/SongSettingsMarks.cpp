#include "app/SongSettingsMarks.h"

#include "app/GuiCalls.h"

#include "song/SongSettingsFile.h"

#include <QMetaObject>
#include <QString>

SongSettingsMarks::SongSettingsMarks(QObject* parent) : QObject(parent)
{
}

SongSettingsMarks::~SongSettingsMarks()
{
    m_worker.stopAndJoin();
}

std::optional<SongSettings> SongSettingsMarks::settingsOf(const std::string& path) const
{
    const auto known = m_known.find(path);
    if (known == m_known.end() || known->second.key != songKey(path, {})) {
        return std::nullopt;
    }
    return known->second.settings;
}

void SongSettingsMarks::look(const std::vector<std::string>& paths)
{
    std::vector<std::string> unknown;
    for (const std::string& path : paths) {
        const auto known = m_known.find(path);
        if (known == m_known.end() || known->second.key != songKey(path, {})) {
            unknown.push_back(path);
        }
    }
    // Joined first: the flag is lowered only once no earlier worker can see it.
    m_worker.stopAndJoin();
    if (unknown.empty()) {
        return;
    }
    m_stop.store(false);
    m_worker.start([this, unknown](WorkerOwner::Generation generation) {
        for (const std::string& path : unknown) {
            Known answer{songKey(path, {}), std::nullopt};
            FoundSongSettings found;
            std::string error;
            // Without a single settings file no song is read for its hash.
            const bool read = findSongSettings(path, found, error, true, &m_stop);
            if (m_stop.load()) {
                break;
            }
            if (read && found.found && !found.settings.empty()) {
                answer.settings = found.settings;
            }
            m_calls.post([this, generation, answer = std::move(answer)] {
                    if (generation != m_worker.generation()) {
                        return;
                    }
                    const QString file = QString::fromStdString(answer.key.path);
                    m_known[answer.key.path] = answer;
                    emit looked(file);
                });
        }
        m_calls.post([this, generation] { m_worker.joinEnded(generation); });
    });
}
