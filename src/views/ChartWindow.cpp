#include "views/ChartWindow.h"

#include "views/Charts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>

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
    // Resized by its frame: a size grip would sit on the last label of the
    // time axis.
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    m_strip = new QWidget(this);
    auto* stripRow = new QHBoxLayout(m_strip);
    m_coilBox = new QComboBox(m_strip);
    m_coilBox->setObjectName("coilChooser");
    m_coilBox->setToolTip("The coil whose notes the chart shows");
    auto* coilLabel = new QLabel("&Coil:", m_strip);
    coilLabel->setBuddy(m_coilBox);
    stripRow->addWidget(coilLabel);
    stripRow->addWidget(m_coilBox);
    stripRow->addStretch();
    // The strip has the style's background; the chart's area is the window's
    // own, black around the field: no background of the style flashes before
    // the chart is painted.
    m_strip->setAutoFillBackground(true);
    m_strip->hide();
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_area = new QWidget(this);
    m_area->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_strip);
    column->addWidget(m_area, 1);
    if (m_picture) {
        const LabelMetrics metrics = chartLabelMetrics(chartLabelFont(font()));
        const LayoutSize smallest = chartAreaFor(m_picture->chart, 1, metrics);
        m_area->setMinimumSize(smallest.width, smallest.height);
        const LayoutSize initial = chartAreaFor(m_picture->chart, kInitialScale, metrics);
        resize(initial.width, initial.height);
    }
    connect(m_coilBox, &QComboBox::activated, this, [this](int index) { emit coilChosen(m_coilBox->itemText(index)); });
    connect(&m_source, &ChartSource::pictureReady, this, [this](ChartKind ready) {
        if (ready == m_kind) {
            update();
        }
    });
}

ChartLayout ChartWindow::layout() const
{
    if (!m_picture) {
        return {};
    }
    return chartLayout(m_picture->chart, m_area->width(), m_area->height(), chartLabelMetrics(chartLabelFont(font())));
}

void ChartWindow::showCoils(const std::vector<std::string>& names, const std::string& shown)
{
    QStringList items;
    for (const std::string& name : names) {
        items << QString::fromStdString(name);
    }
    QStringList listed;
    for (int i = 0; i < m_coilBox->count(); ++i) {
        listed << m_coilBox->itemText(i);
    }
    if (listed != items) {
        m_coilBox->clear();
        m_coilBox->addItems(items);
    }
    m_coilBox->setCurrentIndex(static_cast<int>(items.indexOf(QString::fromStdString(shown))));
    const bool chooses = names.size() > 1;
    if (chooses != m_strip->isVisibleTo(this)) {
        // The chart keeps its size: the window grows or shrinks by the strip.
        const int strip = m_strip->sizeHint().height();
        m_strip->setVisible(chooses);
        resize(width(), height() + (chooses ? strip : -strip));
    }
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
    m_shown = marksFor(selection);
    QPainter painter(this);
    painter.fillRect(m_area->geometry(), Qt::black);
    painter.translate(m_area->pos());
    if (m_picture) {
        const ChartLayout shown = layout();
        paintField(painter, *m_picture, toRect(shown.field));
        paintFigures(painter, m_picture->chart, toRect(shown.figures));
        paintAxes(painter, shown, chartLabelFont(font()));
        paintMarks(painter, shown);
    }
    ++m_paints;
    emit painted();
}

void ChartWindow::paintMarks(QPainter& painter, const ChartLayout& layout) const
{
    if (!m_shown) {
        return;
    }
    if (m_shown->column) {
        painter.fillRect(playheadRect(m_picture->chart, toRect(layout.field), *m_shown->column), kChartPlayheadColour);
    }
    for (const std::int32_t key : m_shown->keys) {
        painter.fillRect(toRect(keyMarkBox(layout, key)), kChartPlayheadColour);
    }
}

void ChartWindow::setPlayhead(std::optional<Playhead> playhead)
{
    m_playhead = std::move(playhead);
    const std::optional<PlayheadMarks> marks = marksFor(m_selection());
    if (marks == m_shown) {
        return;
    }
    const QRegion dirty = marksArea(m_shown) | marksArea(marks);
    m_playheadDirty |= dirty;
    update(dirty);
}

std::optional<ChartWindow::PlayheadMarks> ChartWindow::marksFor(const PanelSelection& selection) const
{
    if (!m_playhead || !m_picture || !selection.fileLoaded || selection.path != m_playhead->path) {
        return std::nullopt;
    }
    if (m_kind == ChartKind::Spectrum) {
        return PlayheadMarks{std::nullopt, soundingKeys(m_picture->chart, m_playhead->elapsedMs)};
    }
    const std::optional<int> column = playheadColumn(m_picture->chart, m_playhead->elapsedMs);
    if (!column) {
        return std::nullopt;
    }
    return PlayheadMarks{column, {}};
}

QRegion ChartWindow::marksArea(const std::optional<PlayheadMarks>& marks) const
{
    if (!marks || !m_picture) {
        return {};
    }
    const ChartLayout shown = layout();
    // The whole band of marks: a chord's keys lie far apart, and one
    // rectangle of a few pixels costs less than many.
    const QRectF area = marks->column ? playheadRect(m_picture->chart, toRect(shown.field), *marks->column)
                                      : toRect(shown.marks);
    // A pixel more on each side: the scaled raster's edges round either way.
    return area.toAlignedRect().adjusted(-1, -1, 1, 1).translated(m_area->pos());
}
