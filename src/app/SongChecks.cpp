#include "app/SongChecks.h"

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
        const SongCheck result = checkSong(path, rig, options, noDiagnostics(), &m_stop);
        QMetaObject::invokeMethod(
            this,
            [this, generation, path, result] {
                if (!m_worker.joinEnded(generation) || result.stopped) {
                    return;
                }
                emit checked(QString::fromStdString(path), QString::fromStdString(checkSummaryLine(result)),
                             QString::fromStdString(checkReportText(result)));
            },
            Qt::QueuedConnection);
    });
}
