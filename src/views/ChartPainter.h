#pragma once

#include "views/Chart.h"

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

// Paints `picture` with its logical field mapped onto `target` (in the
// painter's current coordinates): the raster without smoothing, then the
// message in green at the top left of the field. The painter's state is
// restored afterwards.
void paintChart(QPainter& painter, const ChartPicture& picture, const QRectF& target);

// Where the playhead at logical column `column` of the field lies when the
// chart is painted onto `target`: that column from row 1 to row height - 2,
// inside the field's outline.
QRectF playheadRect(const Chart& chart, const QRectF& target, int column);

// The largest rectangle of the chart's aspect that fits `area`, centred in it.
QRectF fittedChartRect(const Chart& chart, const QSizeF& area);

// The chart at `scale` times its logical size (the field and the strip of
// figures), as `plot` writes it. Needs a
// QGuiApplication when the chart has a message (text needs the font system).
QImage renderChart(const ChartPicture& picture, int scale);
