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
    // The latest request wins: asking for another window while one is being
    // computed opens only the one asked for last.
    m_opening = {};
    request(kind);
}

void AnalysisWindows::reopen(const std::array<bool, 3>& kinds, const std::array<QByteArray, 3>& geometry)
{
    m_geometry = geometry;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i]) {
            request(static_cast<ChartKind>(i));
        }
    }
}

std::array<bool, 3> AnalysisWindows::openKinds() const
{
    std::array<bool, 3> open{};
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        open[i] = m_windows[i] != nullptr;
    }
    return open;
}

std::array<QByteArray, 3> AnalysisWindows::geometry() const
{
    std::array<QByteArray, 3> geometry = m_geometry;
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        if (m_windows[i] != nullptr) {
            geometry[i] = m_windows[i]->saveGeometry();
        }
    }
    return geometry;
}

void AnalysisWindows::request(ChartKind kind)
{
    const auto index = static_cast<std::size_t>(kind);
    if (ChartWindow* window = m_windows[index]) {
        m_opening[index] = false;
        setBusy(std::find(m_opening.begin(), m_opening.end(), true) != m_opening.end());
        window->raise();
        window->activateWindow();
        return;
    }
    const PanelSelection shown = selection();
    if (auto picture = m_source.cached(kind, shown)) {
        m_opening[index] = false;
        setBusy(std::find(m_opening.begin(), m_opening.end(), true) != m_opening.end());
        showWindow(kind, std::move(picture));
        return;
    }
    m_opening[index] = true;
    setBusy(true);
    m_source.compute(kind, shown);
}

void AnalysisWindows::pictureReady(ChartKind kind)
{
    if (!m_opening[static_cast<std::size_t>(kind)]) {
        return;
    }
    // The selection cannot change while the panel waits, but the file can:
    // a stale picture asks for another computation.
    request(kind);
}

void AnalysisWindows::showWindow(ChartKind kind, std::shared_ptr<const ChartPicture> picture)
{
    const auto index = static_cast<std::size_t>(kind);
    auto* window = new ChartWindow(kind, m_source, [this] { return selection(); }, std::move(picture), m_parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    showCoils(*window, selection());
    connect(window, &ChartWindow::coilChosen, this, [this](const QString& name) {
        m_coil = name.toStdString();
        selectionChanged();
    });
    window->setPlayhead(m_playhead);
    if (!m_geometry[index].isEmpty()) {
        window->restoreGeometry(m_geometry[index]);
    }
    // Its place is kept for the next time it opens.
    connect(window, &QDialog::finished, this, [this, window, index] { m_geometry[index] = window->saveGeometry(); });
    m_windows[index] = window;
    window->show();
    emit windowOpened(window);
}

void AnalysisWindows::selectionChanged()
{
    const PanelSelection shown = selection();
    for (ChartWindow* window : m_windows) {
        if (window != nullptr) {
            showCoils(*window, shown);
            window->update();
        }
    }
}

PanelSelection AnalysisWindows::selection() const
{
    PanelSelection shown = m_selection();
    shown.coil = m_coil;
    shown.coil = shown.coilShown();
    return shown;
}

void AnalysisWindows::showCoils(ChartWindow& window, const PanelSelection& selection) const
{
    std::vector<std::string> names;
    for (const Coil& coil : selection.rigInForce().coils) {
        names.push_back(coil.name);
    }
    window.showCoils(names, selection.coil);
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
