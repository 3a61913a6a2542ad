#pragma once

#include "views/Chart.h"
#include "views/ChartAxes.h"

#include <QFont>
#include <QImage>
#include <QRectF>
#include <QSize>

class QPainter;

// A chart ready to paint: the chart itself and its border, field and bars
// rasterised once at the chart's logical size. Every rectangle of a chart has
// whole logical coordinates and all bars are one colour, so the picture at
// any size is this raster scaled without smoothing: painting costs the pixels
// of the target, however many bars the song has.
struct ChartPicture {
    Chart chart;
    QImage raster;  // chart.width x chart.height, RGB32
};

inline const QColor kChartGreen{0, 255, 0};
// The duty limit's line: amber, apart from the field's green, black and white.
inline const QColor kChartLimitColour{255, 160, 0};

// The playhead of the notes and duty windows: red, a colour none of the
// charts uses.
inline const QColor kChartPlayheadColour{255, 48, 48};

// Builds the raster of `chart`: the green outline of pixels 0..width-1 x
// 0..height-1, the black inside, then the white bars, each covering pixels
// left..right-1 x top..bottom-1 and clipped to the image, then the limit row
// (when inside the field) across the inside, over the bars.
ChartPicture makeChartPicture(Chart chart);

// Paints `picture` with its logical picture (the field and the strip of
// figures under it) mapped onto `target` (in the painter's current
// coordinates): paintField on the field's part, paintFigures on the rest.
void paintChart(QPainter& painter, const ChartPicture& picture, const QRectF& target);
// The field mapped onto `target`: the raster without smoothing, then the
// message in green at the top left of the field. The painter's state is
// restored afterwards.
void paintField(QPainter& painter, const ChartPicture& picture, const QRectF& target);
// The strip of figures (chart.figuresHeight logical rows) mapped onto
// `target`: black, with the figures in green, wrapped within it.
void paintFigures(QPainter& painter, const Chart& chart, const QRectF& target);

// The labels' font: `base` at a fixed pixel size, readable at any scale.
QFont chartLabelFont(const QFont& base);
// The measures of text in `font`, for chartLayout.
LabelMetrics chartLabelMetrics(const QFont& font);
// Paints the ticks and labels of `layout` in green, in `font`.
void paintAxes(QPainter& painter, const ChartLayout& layout, const QFont& font);

// Where the playhead at logical column `column` of the field lies when the
// field is painted onto `field`: that column from row 1 to row height - 2,
// inside the field's outline.
QRectF playheadRect(const Chart& chart, const QRectF& field, int column);

inline QRectF toRect(const LayoutBox& box)
{
    return {box.left, box.top, box.width, box.height};
}

// The largest rectangle of the chart's aspect that fits `area`, centred in it.
QRectF fittedChartRect(const Chart& chart, const QSizeF& area);

// The chart at `scale` times its logical size (the field and the strip of
// figures), as `plot --bare` writes it. Needs a
// QGuiApplication when the chart has a message (text needs the font system).
QImage renderChart(const ChartPicture& picture, int scale);
// The chart as its window shows it, with its labels around the field at
// `scale`, on black: what `plot` writes. Needs a QGuiApplication.
QImage renderLabelledChart(const ChartPicture& picture, int scale);
