#include "views/ChartWindow.h"

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
    setModal(true);
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

void ChartWindow::paintEvent(QPaintEvent* /*event*/)
{
    const PanelSelection selection = m_selection();
    if (selection.fileLoaded && m_kind != ChartKind::Notes) {
        std::cout << selection.selectedIndex << '\n' << "Loaded file is: " << selection.path << '\n' << std::flush;
    }
    if (auto current = m_source.cached(m_kind, selection)) {
        m_picture = std::move(current);
    } else {
        m_source.compute(m_kind, selection);
    }
    if (m_picture) {
        QPainter painter(this);
        paintChart(painter, *m_picture, fittedChartRect(m_picture->chart, size()));
    }
    ++m_paints;
    emit painted();
}
