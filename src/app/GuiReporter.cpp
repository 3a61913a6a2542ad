#include "app/GuiReporter.h"

#include <iostream>

DiagnosticSink& panelDiagnostics()
{
    static StreamDiagnostics lines(std::cout);
    return lines;
}

GuiReporter::GuiReporter(Handlers handlers, QObject* parent) : QObject(parent), m_handlers(std::move(handlers))
{
}

void GuiReporter::diagnostic(const std::string& line)
{
    panelDiagnostics().diagnostic(line);
}

void GuiReporter::statusText(const std::string& text)
{
    push({Report::Kind::Text, text});
}

void GuiReporter::nowPlaying(int index)
{
    push({Report::Kind::NowPlaying, {}, index});
}

void GuiReporter::songStarted(int totalMs)
{
    push({Report::Kind::SongStarted, {}, totalMs});
}

void GuiReporter::songTime(int elapsedMs)
{
    push({Report::Kind::SongTime, {}, elapsedMs});
}

void GuiReporter::songShape(int speedPercent, const std::optional<LoopRegion>& loop, bool loopOn)
{
    push({Report::Kind::SongShape, {}, speedPercent, loop, loopOn});
}

void GuiReporter::songLength(int totalMs)
{
    push({Report::Kind::SongLength, {}, totalMs});
}

void GuiReporter::limitsActed(const CoilLimitCounts& counts)
{
    push({Report::Kind::LimitsActed, coilLimitsText(counts)});
}

void GuiReporter::push(Report report)
{
    std::lock_guard lock(m_mutex);
    m_reports.push_back(std::move(report));
    postLocked();
}

void GuiReporter::progress(int position)
{
    std::lock_guard lock(m_mutex);
    m_progress = position;
    postLocked();
}

void GuiReporter::controllerLost()
{
    std::lock_guard lock(m_mutex);
    m_lost = true;
    postLocked();
}

void GuiReporter::workerFinished(std::uint64_t generation)
{
    std::lock_guard lock(m_mutex);
    m_finished.push_back(generation);
    postLocked();
}

void GuiReporter::postLocked()
{
    if (m_posted) {
        return;
    }
    m_posted = true;
    // Only the receiver goes through Qt's event queue; the data stays in the
    // mailbox under our own lock.
    QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void GuiReporter::deliver()
{
    std::vector<Report> reports;
    std::optional<int> position;
    std::vector<std::uint64_t> finished;
    bool lost = false;
    {
        std::lock_guard lock(m_mutex);
        std::swap(lost, m_lost);
        reports.swap(m_reports);
        position.swap(m_progress);
        finished.swap(m_finished);
        m_posted = false;
    }
    const auto call = [](const auto& handler, auto... args) {
        if (handler) {
            handler(args...);
        }
    };
    for (const Report& report : reports) {
        switch (report.kind) {
        case Report::Kind::Text:
            call(m_handlers.status, QString::fromStdString(report.text));
            break;
        case Report::Kind::NowPlaying:
            call(m_handlers.nowPlaying, report.value);
            break;
        case Report::Kind::SongStarted:
            call(m_handlers.songStarted, report.value);
            break;
        case Report::Kind::SongTime:
            call(m_handlers.songTime, report.value);
            break;
        case Report::Kind::LimitsActed:
            call(m_handlers.limitsActed, QString::fromStdString(report.text));
            break;
        case Report::Kind::SongShape:
            call(m_handlers.songShape, report.value, report.loop, report.loopOn);
            break;
        case Report::Kind::SongLength:
            call(m_handlers.songLength, report.value);
            break;
        }
    }
    if (position) {
        call(m_handlers.progress, *position);
    }
    if (lost) {
        call(m_handlers.controllerLost);
    }
    for (const std::uint64_t generation : finished) {
        call(m_handlers.finished, generation);
    }
}
