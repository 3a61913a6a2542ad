#pragma once

#include "playback/PlaybackObserver.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The panel's sink of the core's lines: standard output, a whole line at a
// time from any thread.
DiagnosticSink& panelDiagnostics();

// The GUI side of PlaybackObserver. Workers call it on their own threads; it
// keeps what they report in a mailbox and posts at most one queued call to
// the GUI thread per burst, which empties the mailbox and hands each item to
// the handlers there. Status texts and the song reports (which file, its
// start, its time) arrive in the order they were made, so a text about one
// file is never taken for one about the next; progress only as its latest
// value, after them. What the coil limits did comes in order, kept apart
// from the status texts. The handlers run on the GUI thread only.
class GuiReporter : public QObject, public PlaybackObserver {
    Q_OBJECT

public:
    struct Handlers {
        std::function<void(const QString& text)> status;
        std::function<void(int position)> progress;
        // The playback worker of this generation has reported its end.
        std::function<void(std::uint64_t generation)> finished;
        // A worker found the controller gone or unable to open.
        std::function<void()> controllerLost;
        // The worker moved to the playlist file at this index.
        std::function<void(int index)> nowPlaying;
        // A song of this length (ms) started.
        std::function<void(int totalMs)> songStarted;
        // The song's clock (ms), at each whole second and after a seek.
        std::function<void(int elapsedMs)> songTime;
        // What the coil limits did to the song that ended (coilLimitsText).
        std::function<void(const QString& text)> limitsActed;
        // The song that started plays at this speed with this loop (on or not).
        std::function<void(int speedPercent, const std::optional<LoopRegion>& loop, bool loopOn)> songShape;
        // The song playing has a new length (ms): its speed changed.
        std::function<void(int totalMs)> songLength;
    };

    // Lives on the thread that builds it, which must be the GUI thread.
    explicit GuiReporter(Handlers handlers, QObject* parent = nullptr);

    // On standard output, as the panel has always printed them.
    void diagnostic(const std::string& line) override;
    void statusText(const std::string& text) override;
    void progress(int position) override;
    void controllerLost() override;
    void nowPlaying(int index) override;
    void songStarted(int totalMs) override;
    void songTime(int elapsedMs) override;
    void songShape(int speedPercent, const std::optional<LoopRegion>& loop, bool loopOn) override;
    void songLength(int totalMs) override;
    void limitsActed(const CoilLimitCounts& counts) override;
    // Called by a playback worker as its very last action: the window can
    // join it. Generations tell workers apart; thread ids would not, as the
    // C library hands a finished thread's id to the next thread.
    void workerFinished(std::uint64_t generation);

private:
    struct Report {
        enum class Kind { Text, NowPlaying, SongStarted, SongTime, LimitsActed, SongShape, SongLength };
        Report(Kind kind_, std::string text_ = {}, int value_ = 0, std::optional<LoopRegion> loop_ = {}, bool loopOn_ = false)
            : kind(kind_), text(std::move(text_)), value(value_), loop(loop_), loopOn(loopOn_)
        {
        }
        Kind kind;
        std::string text;
        int value = 0;
        std::optional<LoopRegion> loop;
        bool loopOn = false;
    };

    Q_INVOKABLE void deliver();
    void push(Report report);
    // Called with m_mutex held.
    void postLocked();

    Handlers m_handlers;
    std::mutex m_mutex;
    std::vector<Report> m_reports;
    std::optional<int> m_progress;
    std::vector<std::uint64_t> m_finished;
    bool m_lost = false;
    bool m_posted = false;
};
