#pragma once

#include "song/PlaybackOptions.h"
#include "song/SongLoader.h"
#include "views/ChartPainter.h"
#include "views/SongKey.h"

#include <QObject>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// What the panel has selected when a window asks for its chart.
struct PanelSelection {
    bool fileLoaded = false;  // a file was chosen at least once
    int selectedIndex = 0;
    std::string path;         // the selected file's path (when fileLoaded)
    PlaybackOptions options;  // the options in force
    // The rig file's rig in force; none: the default rig of the options.
    std::shared_ptr<const Rig> rig;
    // The coil the windows show (coilShown when the rig has none of the name).
    std::string coil;
    // The speed the selected song plays at now when it was changed while it
    // plays; none: the song's own (its song settings', else 100 %).
    std::optional<std::int32_t> speedPercent;

    Rig rigInForce() const;
    // The coil chosen when the rig has it, else the rig's first.
    std::string coilShown() const;
};

// Computes the analysis charts of the selected file off the GUI thread and
// keeps the latest song and its charts, so that a window repaints from memory.
// A chart is of one coil of the rig: the song as Play would send it to that
// coil, with the song's settings and the speed in force (coilSongSetup). The
// cache holds one song: the charts of the selected file, coil and speed under
// the rig and options in force; a changed file or song settings file (size or
// modification time), or changed options, rig, coil or speed make it stale. GUI thread only. Each computation runs on a thread of its
// own and leaves its result in a mailbox under the source's lock; a queued
// call hands it to the GUI thread, which joins the thread.
class ChartSource : public QObject {
    Q_OBJECT

public:
    // Turns a loaded song into the chart of one window.
    using ChartMaker = std::function<Chart(ChartKind, const LoadedSong&, const std::string& fileName)>;
    // The chart of a window when no file was ever chosen.
    using NoFileMaker = std::function<Chart(ChartKind)>;
    // The text naming the channels of a file that have notes ("" for none).
    using ChannelNotesMaker =
        std::function<std::string(const std::string& fileName, const PlaybackOptions&, const std::atomic<bool>& stop)>;

    struct Makers {
        ChartMaker chart;
        NoFileMaker noFile;
        ChannelNotesMaker channelNotes;
        // Where the lines of each song read for a chart go.
        DiagnosticSink* diagnostics = &noDiagnostics();
    };

    explicit ChartSource(Makers makers, QObject* parent = nullptr);
    // Stops a running computation early and waits for it.
    ~ChartSource() override;

    // The picture of `kind` for `selection` when it is known for the file as
    // it is now; null when it must be computed first.
    std::shared_ptr<const ChartPicture> cached(ChartKind kind, const PanelSelection& selection);
    // Starts computing the picture (unless that is already under way); emits
    // pictureReady(kind) when it is in the cache.
    void compute(ChartKind kind, const PanelSelection& selection);

    // The channel text of the selected file when known for the file as it is
    // now; otherwise starts computing it and emits channelNotesReady later.
    std::optional<std::string> channelNotes(const PanelSelection& selection);

    // How many times a song was read for a chart (the cache's misses).
    int songsLoaded() const { return m_songsLoaded; }

signals:
    void pictureReady(ChartKind kind);
    void channelNotesReady(const QString& text);

private:
    struct Job;
    struct JobResult;
    void start(const Job& job);
    void deliver();
    // The key of `selection` now, with the song settings file found for the
    // cached song when the song is still as it was.
    SongKey keyOf(const PanelSelection& selection) const;
    // The worker's part: reads the song unless `song` is given (its song
    // settings file too, noted in the result's key), then makes the picture
    // or the channel text.
    static std::shared_ptr<JobResult> work(const Job& job, std::shared_ptr<const LoadedSong> song,
                                           const Makers& makers, const std::atomic<bool>& stop);

    Makers m_makers;
    // The cached song and the pictures made from it.
    std::optional<SongKey> m_key;
    std::shared_ptr<const LoadedSong> m_song;
    std::array<std::shared_ptr<const ChartPicture>, 3> m_pictures;
    std::array<std::shared_ptr<const ChartPicture>, 3> m_noFilePictures;
    std::optional<SongKey> m_channelKey;
    std::string m_channelNotes;

    // At most one computation runs; the requests made meanwhile wait for it in
    // the order they came, one for each chart kind and one for the channel
    // text (a later request of the same work takes the earlier one's place).
    std::unique_ptr<Job> m_running;
    std::deque<Job> m_waiting;
    std::thread m_worker;
    std::mutex m_mailboxMutex;
    std::shared_ptr<JobResult> m_mailbox;  // guarded by m_mailboxMutex
    std::atomic<bool> m_stop{false};
    int m_songsLoaded = 0;
};
