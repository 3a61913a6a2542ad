#include "views/ChartPainter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;

// The text height of a dialog's standard font at 96 dpi.
constexpr int kMessagePixelSize = 13;
// The figures under a field are smaller, so that the duty window's line fits
// in two rows of its strip.
constexpr int kFiguresPixelSize = 11;
// The labels around the field: as small as the figures, and never scaled.
constexpr int kLabelPixelSize = 11;

}  // namespace

ChartPicture makeChartPicture(Chart chart)
{
    const int width = std::max(chart.width, 0);
    const int height = std::max(chart.height, 0);
    QImage raster(width, height, QImage::Format_RGB32);
    if (width == 0 || height == 0) {
        return {std::move(chart), raster};
    }

    // A song may have a million bars, many of them on top of each other: count
    // them into a two-dimensional difference table (four updates per bar),
    // then a running sum tells for each pixel whether any bar covers it.
    const std::size_t stride = static_cast<std::size_t>(width) + 1;
    std::vector<std::int32_t> cover(stride * (static_cast<std::size_t>(height) + 1), 0);
    auto at = [&](int x, int y) -> std::int32_t& {
        return cover[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)];
    };
    for (const ChartRect& bar : chart.bars) {
        const int left = std::clamp(bar.left, 0, width);
        const int right = std::clamp(bar.right, 0, width);
        const int top = std::clamp(bar.top, 0, height);
        const int bottom = std::clamp(bar.bottom, 0, height);
        if (left >= right || top >= bottom) {
            continue;
        }
        ++at(left, top);
        --at(right, top);
        --at(left, bottom);
        ++at(right, bottom);
    }

    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(raster.scanLine(y));
        std::int32_t rowSum = 0;
        for (int x = 0; x < width; ++x) {
            rowSum += at(x, y);
            // Carry the sum of the rows above into this one.
            const std::int32_t covered = rowSum + (y > 0 ? at(x, y - 1) : 0);
            at(x, y) = covered;
            const bool border = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            line[x] = covered > 0 ? kWhite : border ? kGreen : kBlack;
        }
    }
    if (chart.limitRow && *chart.limitRow > 0 && *chart.limitRow < height - 1) {
        auto* line = reinterpret_cast<QRgb*>(raster.scanLine(*chart.limitRow));
        std::fill(line + 1, line + width - 1, kChartLimitColour.rgb());
    }
    return {std::move(chart), raster};
}

QRectF playheadRect(const Chart& chart, const QRectF& field, int column)
{
    if (chart.width <= 0 || chart.height <= 2 || field.isEmpty()) {
        return {};
    }
    const double scaleX = field.width() / chart.width;
    const double scaleY = field.height() / chart.height;
    return {field.left() + column * scaleX, field.top() + scaleY, scaleX, (chart.height - 2) * scaleY};
}

QRectF fittedChartRect(const Chart& chart, const QSizeF& area)
{
    if (chart.width <= 0 || chart.height <= 0 || area.isEmpty()) {
        return {};
    }
    const int height = pictureHeight(chart);
    const double scale = std::min(area.width() / chart.width, area.height() / height);
    const QSizeF size(chart.width * scale, height * scale);
    return {QPointF((area.width() - size.width()) / 2, (area.height() - size.height()) / 2), size};
}

void paintChart(QPainter& painter, const ChartPicture& picture, const QRectF& target)
{
    const Chart& chart = picture.chart;
    if (chart.width <= 0 || chart.height <= 0 || target.isEmpty()) {
        return;
    }
    const double rowHeight = target.height() / pictureHeight(chart);
    paintField(painter, picture, QRectF(target.left(), target.top(), target.width(), chart.height * rowHeight));
    if (chart.figuresHeight > 0) {
        paintFigures(painter, chart,
                     QRectF(target.left(), target.top() + chart.height * rowHeight, target.width(),
                            chart.figuresHeight * rowHeight));
    }
}

void paintField(QPainter& painter, const ChartPicture& picture, const QRectF& target)
{
    const Chart& chart = picture.chart;
    if (chart.width <= 0 || chart.height <= 0 || target.isEmpty()) {
        return;
    }
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / chart.width, target.height() / chart.height);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRect field(0, 0, chart.width, chart.height);
    painter.drawImage(field, picture.raster);

    if (!chart.message.empty()) {
        painter.setClipRect(field);
        QFont font = painter.font();
        font.setPixelSize(kMessagePixelSize);
        painter.setFont(font);
        painter.setPen(kChartGreen);
        painter.setBackgroundMode(Qt::OpaqueMode);
        painter.setBackground(Qt::black);
        // Lines break between words, and inside a word (a long path) that
        // would not fit on a line of its own.
        QTextOption wrapping(Qt::AlignLeft | Qt::AlignTop);
        wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        const ChartRect& box = chart.messageBox;
        painter.drawText(QRectF(box.left, box.top, box.right - box.left, box.bottom - box.top),
                         QString::fromStdString(chart.message), wrapping);
    }
    painter.restore();
}

void paintFigures(QPainter& painter, const Chart& chart, const QRectF& target)
{
    if (chart.width <= 0 || chart.figuresHeight <= 0 || target.isEmpty()) {
        return;
    }
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / chart.width, target.height() / chart.figuresHeight);
    const QRect strip(0, 0, chart.width, chart.figuresHeight);
    painter.fillRect(strip, Qt::black);
    if (!chart.figures.empty()) {
        painter.setClipRect(strip);
        QFont font = painter.font();
        font.setPixelSize(kFiguresPixelSize);
        painter.setFont(font);
        painter.setPen(kChartGreen);
        QTextOption wrapping(Qt::AlignLeft | Qt::AlignTop);
        wrapping.setWrapMode(QTextOption::WordWrap);
        painter.drawText(QRectF(5, 2, chart.width - 10, chart.figuresHeight - 2), QString::fromStdString(chart.figures),
                         wrapping);
    }
    painter.restore();
}

QFont chartLabelFont(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(kLabelPixelSize);
    return font;
}

LabelMetrics chartLabelMetrics(const QFont& font)
{
    const QFontMetricsF metrics(font);
    return {std::ceil(metrics.height()),
            [metrics](std::string_view text) { return std::ceil(metrics.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())))); }};
}

void paintAxes(QPainter& painter, const ChartLayout& layout, const QFont& font)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const LayoutBox& tick : layout.ticks) {
        painter.fillRect(toRect(tick), kChartGreen);
    }
    painter.setFont(font);
    painter.setPen(kChartGreen);
    for (const AxisLabel& label : layout.labels) {
        painter.drawText(toRect(label.box), Qt::AlignCenter, QString::fromStdString(label.text));
    }
    painter.restore();
}

QImage renderChart(const ChartPicture& picture, int scale)
{
    const Chart& chart = picture.chart;
    const int factor = std::max(scale, 1);
    QImage image(chart.width * factor, pictureHeight(chart) * factor, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    paintChart(painter, picture, QRectF(0, 0, image.width(), image.height()));
    painter.end();
    return image;
}

QImage renderLabelledChart(const ChartPicture& picture, int scale)
{
    const Chart& chart = picture.chart;
    const QFont font = chartLabelFont(QFont());
    const LabelMetrics metrics = chartLabelMetrics(font);
    const LayoutSize size = chartAreaFor(chart, std::max(scale, 1), metrics);
    QImage image(std::max(size.width, 1), std::max(size.height, 1), QImage::Format_RGB32);
    image.fill(Qt::black);
    const ChartLayout layout = chartLayout(chart, size.width, size.height, metrics);
    QPainter painter(&image);
    paintField(painter, picture, toRect(layout.field));
    paintFigures(painter, chart, toRect(layout.figures));
    paintAxes(painter, layout, font);
    painter.end();
    return image;
}
