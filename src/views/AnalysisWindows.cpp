#include "views/AnalysisWindows.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

AnalysisWindows::AnalysisWindows(ChartSource::Makers makers, ChartWindow::SelectionProvider selection,
                                 QWidget* parent)
    : QObject(parent), m_parent(parent), m_source(std::move(makers)), m_selection(std::move(selection))
{
    connect(&m_source, &ChartSource::pictureReady, this, &AnalysisWindows::pictureReady);
    connect(&m_source, &ChartSource::channelNotesReady, this, [this](const QString& text) {
        if (m_showChannelNotes) {
            m_showChannelNotes(text);
        }
    });
}

AnalysisWindows::~AnalysisWindows()
{
    setBusy(false);
}

void AnalysisWindows::open(ChartKind kind)
{
    if (ChartWindow* window = m_windows[static_cast<std::size_t>(kind)]) {
        m_opening.reset();
        setBusy(false);
        window->raise();
        window->activateWindow();
        return;
    }
    const PanelSelection selection = m_selection();
    if (auto picture = m_source.cached(kind, selection)) {
        m_opening.reset();
        setBusy(false);
        showWindow(kind, std::move(picture));
        return;
    }
    // The latest request wins: asking for another window while one is being
    // computed opens only the one asked for last.
    m_opening = kind;
    setBusy(true);
    m_source.compute(kind, selection);
}

void AnalysisWindows::pictureReady(ChartKind kind)
{
    if (m_opening != kind) {
        return;
    }
    // The selection cannot change while the panel waits, but the file can:
    // a stale picture asks for another computation.
    open(kind);
}

void AnalysisWindows::showWindow(ChartKind kind, std::shared_ptr<const ChartPicture> picture)
{
    auto* window = new ChartWindow(kind, m_source, m_selection, std::move(picture), m_parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setPlayhead(m_playhead);
    m_windows[static_cast<std::size_t>(kind)] = window;
    window->show();
    emit windowOpened(window);
}

void AnalysisWindows::selectionChanged()
{
    for (ChartWindow* window : m_windows) {
        if (window != nullptr) {
            window->update();
        }
    }
}

void AnalysisWindows::setPlayhead(std::optional<Playhead> playhead)
{
    m_playhead = std::move(playhead);
    for (ChartWindow* window : m_windows) {
        if (window != nullptr) {
            window->setPlayhead(m_playhead);
        }
    }
}

bool AnalysisWindows::showsPlayhead() const
{
    return std::any_of(m_windows.begin(), m_windows.end(), [](const QPointer<ChartWindow>& window) { return window != nullptr; });
}

void AnalysisWindows::channelNotes(std::function<void(const QString&)> show)
{
    m_showChannelNotes = std::move(show);
    if (const auto text = m_source.channelNotes(m_selection())) {
        m_showChannelNotes(QString::fromStdString(*text));
    }
}

void AnalysisWindows::setBusy(bool busy)
{
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}
