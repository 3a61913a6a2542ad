#include "views/ChartSource.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

struct ChartSource::Job {
    enum class What { Picture, ChannelNotes };
    What what = What::Picture;
    ChartKind kind = ChartKind::Spectrum;
    SongKey key;
    PlaybackOptions options;

    bool sameWork(const Job& other) const
    {
        return what == other.what && key == other.key && (what == What::ChannelNotes || kind == other.kind);
    }
};

struct ChartSource::JobResult {
    Job job;
    std::shared_ptr<const LoadedSong> song;
    bool songLoaded = false;
    std::shared_ptr<const ChartPicture> picture;
    std::string channelNotes;
    bool stopped = false;
};

ChartSource::ChartSource(Makers makers, QObject* parent)
    : QObject(parent),
      m_makers(std::move(makers)),
      m_watcher(std::make_unique<QFutureWatcher<std::shared_ptr<JobResult>>>()),
      m_stop(std::make_shared<std::atomic<bool>>(false))
{
    connect(m_watcher.get(), &QFutureWatcherBase::finished, this, &ChartSource::finished);
}

ChartSource::~ChartSource()
{
    m_stop->store(true);
    m_watcher->disconnect(this);
    m_watcher->waitForFinished();
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
    if (m_key != songKey(selection.path, selection.options)) {
        return nullptr;
    }
    return m_pictures[index];
}

void ChartSource::compute(ChartKind kind, const PanelSelection& selection)
{
    start(Job{Job::What::Picture, kind, songKey(selection.path, selection.options), selection.options});
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
        if (!m_running->sameWork(job)) {
            m_waiting = std::make_unique<Job>(job);
        }
        return;
    }
    m_running = std::make_unique<Job>(job);
    std::shared_ptr<const LoadedSong> song = m_key == job.key ? m_song : nullptr;
    // The worker gets copies of everything it reads: the makers are never
    // changed after construction, the song is immutable once loaded.
    m_watcher->setFuture(QtConcurrent::run(
        [job, song, makers = m_makers, stop = m_stop]() mutable -> std::shared_ptr<JobResult> {
            auto result = std::make_shared<JobResult>();
            result->job = job;
            if (job.what == Job::What::ChannelNotes) {
                result->channelNotes = makers.channelNotes(job.key.path, job.options, *stop);
                result->stopped = stop->load();
                return result;
            }
            if (!song) {
                auto loaded = std::make_shared<LoadedSong>(loadSong(job.key.path, job.options, stop.get()));
                if (loaded->stopped) {
                    result->stopped = true;
                    return result;
                }
                song = std::move(loaded);
                result->songLoaded = true;
            }
            result->song = song;
            result->picture =
                std::make_shared<const ChartPicture>(makeChartPicture(makers.chart(job.kind, *song, job.key.path)));
            return result;
        }));
}

void ChartSource::finished()
{
    const std::shared_ptr<JobResult> result = m_watcher->result();
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
    if (m_waiting) {
        const Job next = *m_waiting;
        m_waiting.reset();
        start(next);
    }
}
