#include "app/SongChecks.h"

#include "rig/RigSong.h"
#include "song/SongSettingsFile.h"
#include "views/SongCheck.h"

#include <QMetaObject>

SongChecks::SongChecks(QObject* parent) : QObject(parent)
{
}

SongChecks::~SongChecks()
{
    m_worker.stopAndJoin();
}

void SongChecks::check(const std::string& path, const Rig& rig, const PlaybackOptions& options)
{
    // Joined first: the flag is lowered only once no earlier worker can see it.
    m_worker.stopAndJoin();
    m_stop.store(false);
    m_worker.start([this, path, rig, options](WorkerOwner::Generation generation) {
        // The song as Play plays it: with its song settings.
        FoundSongSettings found;
        std::string error;
        SongCheck result;
        if (!findSongSettings(path, found, error, true, &m_stop)) {
            result.error = error;
        } else {
            Rig songRig = rig;
            applySongSettings(songRig, found.settings);
            PlaybackOptions songOptions = options;
            songOptions.speedPercent = songSpeed(found.settings, std::nullopt);
            result = checkSong(path, songRig, songOptions, noDiagnostics(), &m_stop);
        }
        result.stopped = result.stopped || m_stop.load();
        {
            const std::lock_guard lock(m_mailboxMutex);
            m_mailbox = Delivery{generation, path, std::move(result)};
        }
        // By name: nothing made here travels with the call, and what it
        // picks up crosses under the mailbox's lock.
        QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
    });
}

void SongChecks::deliver()
{
    std::optional<Delivery> delivery;
    {
        const std::lock_guard lock(m_mailboxMutex);
        delivery.swap(m_mailbox);
    }
    if (!delivery || !m_worker.joinEnded(delivery->generation) || delivery->result.stopped) {
        return;
    }
    const SongCheck& result = delivery->result;
    emit checked(QString::fromStdString(delivery->path), QString::fromStdString(checkSummaryLine(result)),
                 QString::fromStdString(checkReportText(result)));
}
