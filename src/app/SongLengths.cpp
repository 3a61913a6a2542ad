#include "app/SongLengths.h"

#include "app/GuiCalls.h"

#include "song/NoteList.h"
#include "song/SongLength.h"
#include "song/SongLoader.h"

#include <QMetaObject>
#include <QString>

SongLengths::SongLengths(QObject* parent) : QObject(parent)
{
}

SongLengths::~SongLengths()
{
    m_worker.stopAndJoin();
}

std::optional<int> SongLengths::lengthMs(const std::string& path, const PlaybackOptions& options) const
{
    const auto known = m_lengths.find(path);
    if (known == m_lengths.end() || known->second.key != songKey(path, options)) {
        return std::nullopt;
    }
    return known->second.ms;
}

void SongLengths::measure(const std::vector<std::string>& paths, const PlaybackOptions& options)
{
    std::vector<std::string> unknown;
    for (const std::string& path : paths) {
        const auto known = m_lengths.find(path);
        if (known == m_lengths.end() || known->second.key != songKey(path, options)) {
            unknown.push_back(path);
        }
    }
    // Joined first: the flag is lowered only once no earlier worker can see it.
    m_worker.stopAndJoin();
    if (unknown.empty()) {
        return;
    }
    m_stop.store(false);
    m_worker.start([this, unknown, options](WorkerOwner::Generation generation) {
        for (const std::string& path : unknown) {
            const SongKey key = songKey(path, options);
            MidiFile file;
            ReadResult read;
            // The length is the last time of the play channel's notes: the
            // read keeps those and the tempi alone, as the note list does.
            const bool prepared = readAndPrepareSong(file, path, read, &m_stop, noDiagnostics(),
                                                     noteTimesEventsOf(options.playChannel));
            if (m_stop.load()) {
                break;
            }
            const std::optional<std::int32_t> length = prepared ? songLengthMs(file, options, &m_stop) : std::nullopt;
            if (m_stop.load()) {
                break;
            }
            const std::lock_guard lock(m_mailboxMutex);
            m_mailbox.push_back({key, length});
            if (!m_posted) {
                m_posted = true;
                m_calls.post([this] { deliver(); });
            }
        }
        m_calls.post([this, generation] { m_worker.joinEnded(generation); });
    });
}

void SongLengths::deliver()
{
    std::vector<Length> arrived;
    {
        const std::lock_guard lock(m_mailboxMutex);
        arrived.swap(m_mailbox);
        m_posted = false;
    }
    for (Length& length : arrived) {
        const QString path = QString::fromStdString(length.key.path);
        m_lengths[length.key.path] = std::move(length);
        emit measured(path);
    }
}
