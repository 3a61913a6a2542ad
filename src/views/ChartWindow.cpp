#include "views/ChartWindow.h"

#include "views/Charts.h"

#include <QPaintEvent>
#include <QPainter>

#include <iostream>

const char* chartWindowTitle(ChartKind kind)
{
    switch (kind) {
    case ChartKind::Spectrum:
        return "Frequency Analysis";
    case ChartKind::Notes:
        return "Notes";
    case ChartKind::Duty:
        return "Duty Cycle";
    }
    return "";
}

namespace {

const char* objectNameOf(ChartKind kind)
{
    switch (kind) {
    case ChartKind::Spectrum:
        return "spectrumWindow";
    case ChartKind::Notes:
        return "notesWindow";
    case ChartKind::Duty:
        return "dutyWindow";
    }
    return "";
}

// Twice the logical size: large enough to read on any screen.
constexpr int kInitialScale = 2;

}  // namespace

ChartWindow::ChartWindow(ChartKind kind, ChartSource& source, SelectionProvider selection,
                         std::shared_ptr<const ChartPicture> first, QWidget* parent)
    : QDialog(parent), m_kind(kind), m_source(source), m_selection(std::move(selection)), m_picture(std::move(first))
{
    setObjectName(objectNameOf(kind));
    setWindowTitle(chartWindowTitle(kind));
    setModal(false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    if (m_picture) {
        resize(m_picture->chart.width * kInitialScale, pictureHeight(m_picture->chart) * kInitialScale);
    }
    connect(&m_source, &ChartSource::pictureReady, this, [this](ChartKind ready) {
        if (ready == m_kind) {
            update();
        }
    });
}

void ChartWindow::paintEvent(QPaintEvent* event)
{
    const bool onlyPlayhead = !m_playheadDirty.isEmpty() && event->region().subtracted(m_playheadDirty).isEmpty();
    m_playheadDirty = QRegion();
    const PanelSelection selection = m_selection();
    if (selection.fileLoaded && m_kind != ChartKind::Notes && !onlyPlayhead) {
        std::cout << selection.selectedIndex << '\n' << "Loaded file is: " << selection.path << '\n' << std::flush;
    }
    if (auto current = m_source.cached(m_kind, selection)) {
        m_picture = std::move(current);
    } else {
        m_source.compute(m_kind, selection);
    }
    m_shownColumn = columnFor(selection);
    if (m_picture) {
        QPainter painter(this);
        const QRectF target = fittedChartRect(m_picture->chart, size());
        paintChart(painter, *m_picture, target);
        if (m_shownColumn) {
            painter.fillRect(playheadRect(m_picture->chart, target, *m_shownColumn), kChartPlayheadColour);
        }
    }
    ++m_paints;
    emit painted();
}

void ChartWindow::setPlayhead(std::optional<Playhead> playhead)
{
    m_playhead = std::move(playhead);
    const std::optional<int> column = columnFor(m_selection());
    if (column == m_shownColumn) {
        return;
    }
    const QRegion dirty = QRegion(playheadArea(m_shownColumn)) | playheadArea(column);
    m_playheadDirty |= dirty;
    update(dirty);
}

std::optional<int> ChartWindow::columnFor(const PanelSelection& selection) const
{
    if (!m_playhead || !m_picture || !selection.fileLoaded || selection.path != m_playhead->path) {
        return std::nullopt;
    }
    return playheadColumn(m_picture->chart, m_playhead->elapsedMs);
}

QRect ChartWindow::playheadArea(std::optional<int> column) const
{
    if (!column || !m_picture) {
        return {};
    }
    // A pixel more on each side: the scaled raster's edges round either way.
    return playheadRect(m_picture->chart, fittedChartRect(m_picture->chart, size()), *column)
        .toAlignedRect()
        .adjusted(-1, -1, 1, 1);
}
