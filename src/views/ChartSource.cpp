#include "views/ChartSource.h"

#include "rig/RigSong.h"
#include "song/SongSettingsFile.h"

#include <QMetaObject>

#include <algorithm>

Rig PanelSelection::rigInForce() const
{
    return rig ? *rig : defaultRig(options);
}

std::string PanelSelection::coilShown() const
{
    const Rig inForce = rigInForce();
    const bool known = std::any_of(inForce.coils.begin(), inForce.coils.end(), [this](const Coil& each) { return each.name == coil; });
    return known ? coil : inForce.coils.front().name;
}

namespace {

// The song as the chosen coil plays it at Play: the song settings file read
// after the song's hash named it, its path and stamp noted in `key` (the
// stamp first, so that a later write makes the key stale).
LoadedSong loadShownCoil(SongKey& key, const PlaybackOptions& options, const std::atomic<bool>& stop,
                         DiagnosticSink& diagnostics)
{
    SongSettings settings;
    std::string error;
    if (const auto hash = songFileHash(key.path, error, &stop)) {
        key.settingsPath = songSettingsPath(*hash);
        key.settings = fileStamp(key.settingsPath);
        FoundSongSettings found;
        if (!readSongSettings(key.settingsPath, found, error)) {
            // Play refuses the song with this line; the chart says it too.
            LoadedSong refused;
            refused.notes.error = error;
            refused.options = options;
            return refused;
        }
        settings = found.settings;
    }
    Rig rig = key.rigCoils.empty() ? defaultRig(options) : Rig{key.rigCoils, {}};
    auto setup = coilSongSetup(rig, settings, key.coil, key.speedPercent, options);
    if (!setup) {
        setup = coilSongSetup(rig, settings, rig.coils.front().name, key.speedPercent, options);
    }
    return loadCoilSong(key.path, *setup, &stop, diagnostics);
}

}  // namespace

struct ChartSource::Job {
    enum class What { Picture, ChannelNotes };
    What what = What::Picture;
    ChartKind kind = ChartKind::Spectrum;
    SongKey key;
    PlaybackOptions options;

    // The same result is wanted: one for each chart kind and one channel text.
    bool sameSlot(const Job& other) const
    {
        return what == other.what && (what == What::ChannelNotes || kind == other.kind);
    }
    bool sameWork(const Job& other) const { return sameSlot(other) && key == other.key; }
};

struct ChartSource::JobResult {
    Job job;
    std::shared_ptr<const LoadedSong> song;
    bool songLoaded = false;
    std::shared_ptr<const ChartPicture> picture;
    std::string channelNotes;
    bool stopped = false;
};

ChartSource::ChartSource(Makers makers, QObject* parent) : QObject(parent), m_makers(std::move(makers)) {}

ChartSource::~ChartSource()
{
    // A queued delivery still on its way is dropped with this object.
    m_stop.store(true);
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

std::shared_ptr<const ChartPicture> ChartSource::cached(ChartKind kind, const PanelSelection& selection)
{
    const auto index = static_cast<std::size_t>(kind);
    if (!selection.fileLoaded) {
        if (!m_noFilePictures[index]) {
            m_noFilePictures[index] = std::make_shared<const ChartPicture>(makeChartPicture(m_makers.noFile(kind)));
        }
        return m_noFilePictures[index];
    }
    if (m_key != keyOf(selection)) {
        return nullptr;
    }
    return m_pictures[index];
}

void ChartSource::compute(ChartKind kind, const PanelSelection& selection)
{
    start(Job{Job::What::Picture, kind, keyOf(selection), selection.options});
}

SongKey ChartSource::keyOf(const PanelSelection& selection) const
{
    SongKey key = songKey(selection.path, selection.options);
    if (selection.rig) {
        key.rigCoils = selection.rig->coils;
    }
    key.coil = selection.coilShown();
    key.speedPercent = selection.speedPercent;
    // Only a worker hashes a song; its settings file is known while the song
    // is as it was then.
    if (m_key && m_key->path == key.path && m_key->file == key.file) {
        key.settingsPath = m_key->settingsPath;
        key.settings = key.settingsPath.empty() ? FileStamp{} : fileStamp(key.settingsPath);
    }
    return key;
}

std::optional<std::string> ChartSource::channelNotes(const PanelSelection& selection)
{
    if (!selection.fileLoaded) {
        return std::string();
    }
    Job job{Job::What::ChannelNotes, ChartKind::Spectrum, songKey(selection.path, selection.options),
            selection.options};
    if (m_channelKey == job.key) {
        return m_channelNotes;
    }
    start(job);
    return std::nullopt;
}

void ChartSource::start(const Job& job)
{
    if (m_running) {
        if (m_running->sameWork(job)) {
            return;
        }
        const auto slot =
            std::find_if(m_waiting.begin(), m_waiting.end(), [&job](const Job& waiting) { return waiting.sameSlot(job); });
        if (slot != m_waiting.end()) {
            *slot = job;
        } else {
            m_waiting.push_back(job);
        }
        return;
    }
    m_running = std::make_unique<Job>(job);
    std::shared_ptr<const LoadedSong> song = m_key == job.key ? m_song : nullptr;
    // The thread gets copies of everything it reads: the makers are never
    // changed after construction, and a loaded song is never changed.
    m_worker = std::thread([this, job, song, makers = m_makers] {
        std::shared_ptr<JobResult> result = work(job, song, makers, m_stop);
        {
            const std::lock_guard lock(m_mailboxMutex);
            m_mailbox = std::move(result);
        }
        QMetaObject::invokeMethod(this, &ChartSource::deliver, Qt::QueuedConnection);
    });
}

std::shared_ptr<ChartSource::JobResult> ChartSource::work(const Job& job, std::shared_ptr<const LoadedSong> song,
                                                         const Makers& makers, const std::atomic<bool>& stop)
{
    auto result = std::make_shared<JobResult>();
    result->job = job;
    if (job.what == Job::What::ChannelNotes) {
        result->channelNotes = makers.channelNotes(job.key.path, job.options, stop);
        result->stopped = stop.load();
        return result;
    }
    if (!song) {
        auto loaded = std::make_shared<LoadedSong>(loadShownCoil(result->job.key, job.options, stop, *makers.diagnostics));
        if (loaded->stopped) {
            result->stopped = true;
            return result;
        }
        song = std::move(loaded);
        result->songLoaded = true;
    }
    result->song = song;
    result->picture = std::make_shared<const ChartPicture>(makeChartPicture(makers.chart(job.kind, *song, job.key.path)));
    return result;
}

void ChartSource::deliver()
{
    std::shared_ptr<JobResult> result;
    {
        const std::lock_guard lock(m_mailboxMutex);
        result = std::move(m_mailbox);
    }
    // The thread has left its result; it ends right after posting this call.
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_running.reset();
    if (result && !result->stopped) {
        const Job& job = result->job;
        if (job.what == Job::What::ChannelNotes) {
            m_channelKey = job.key;
            m_channelNotes = result->channelNotes;
            emit channelNotesReady(QString::fromStdString(m_channelNotes));
        } else {
            if (m_key != job.key) {
                m_key = job.key;
                m_pictures = {};
            }
            if (result->songLoaded) {
                ++m_songsLoaded;
            }
            m_song = result->song;
            m_pictures[static_cast<std::size_t>(job.kind)] = result->picture;
            emit pictureReady(job.kind);
        }
    }
    if (!m_waiting.empty()) {
        const Job next = m_waiting.front();
        m_waiting.pop_front();
        start(next);
    }
}
