#include "views/ChartAxes.h"

#include "coilmodel/CoilModel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace {

constexpr double kPadding = 4;   // black around everything
constexpr double kTick = 4;      // a tick's length
constexpr double kGap = 2;       // between a tick and its label
constexpr double kMarks = 6;     // the Frequency Analysis band of marks
constexpr double kSpacing = 6;   // the least room between two labels of a row

// The note names: the C of octaves 0 to 9.
constexpr std::int32_t kFirstC = 12;
constexpr std::int32_t kLastC = 120;
// The Duty Cycle field: 6.75 % at its top, row 151 for none.
constexpr double kDutyBaseRow = 151.0;
constexpr double kRowsPerPercent = 150.0 / 6.75;
constexpr int kHighestPercent = 6;
// Steps of the time axis in seconds, the shortest that leaves room is taken.
constexpr std::array<std::int64_t, 19> kTimeSteps{1,    2,    5,     10,    15,    30,     60,     120,    300,   600,
                                                  900,  1800, 3600,  7200,  18000, 36000,  72000,  360000, 3600000};

// A label wanted at `at` (x for the axis under the field, y beside it).
struct Wanted {
    double at = 0;
    std::string text;
};
// The labels of one density; the sparser ones follow.
using Level = std::vector<Wanted>;

struct Margins {
    double left = kPadding;
    double bottomBand = 0;  // between the field and the strip of figures (or the padding)
};

bool hasSideAxis(const Chart& chart)
{
    return chart.kind != ChartKind::Spectrum;
}

std::string percentText(int percent)
{
    return std::to_string(percent) + " %";
}

// Every candidate of the side axis, for the margin's width.
std::vector<std::string> sideTexts(const Chart& chart)
{
    std::vector<std::string> texts;
    if (chart.kind == ChartKind::Notes) {
        for (std::int32_t key = kFirstC; key <= kLastC; key += 12) {
            texts.push_back(keyName(key));
        }
    } else if (chart.kind == ChartKind::Duty) {
        for (int percent = 0; percent <= kHighestPercent; ++percent) {
            texts.push_back(percentText(percent));
        }
    }
    return texts;
}

Margins marginsOf(const Chart& chart, const LabelMetrics& metrics)
{
    Margins margins;
    if (hasSideAxis(chart)) {
        double widest = 0;
        for (const std::string& text : sideTexts(chart)) {
            widest = std::max(widest, metrics.width(text));
        }
        margins.left = std::ceil(kPadding + widest + kGap + kTick);
    }
    const double toLabels = chart.kind == ChartKind::Spectrum ? kMarks : kTick;
    margins.bottomBand = std::ceil(toLabels + kGap + metrics.lineHeight);
    return margins;
}

// Note names under the Frequency Analysis bars: every C, then every second,
// third, fourth or sixth.
std::vector<Level> keyLevels(double fieldLeft, double scale)
{
    std::vector<Level> levels;
    for (const std::int32_t stride : {1, 2, 3, 4, 6}) {
        Level level;
        for (std::int32_t key = kFirstC; key <= kLastC; key += 12 * stride) {
            level.push_back({fieldLeft + (3.0 * key - 1.5) * scale, keyName(key)});
        }
        levels.push_back(std::move(level));
    }
    return levels;
}

// Seconds across the field, from 0 to the end of the song.
std::vector<Level> timeLevels(const Chart& chart, double fieldLeft, double scale)
{
    std::vector<Level> levels;
    if (!chart.timeAxis || chart.timeAxis->endMs <= 0) {
        return levels;
    }
    const double pixelsPerMs = chart.timeAxis->width * scale / chart.timeAxis->endMs;
    for (const std::int64_t step : kTimeSteps) {
        Level level;
        for (std::int64_t seconds = 0; seconds * 1000 <= chart.timeAxis->endMs; seconds += step) {
            level.push_back({fieldLeft + static_cast<double>(seconds * 1000) * pixelsPerMs, std::to_string(seconds) + " s"});
        }
        levels.push_back(std::move(level));
    }
    return levels;
}

// Note names beside the Notes rows (key k on row 160 - k) and percentages
// beside the Duty Cycle field, bottom to top.
std::vector<Level> sideLevels(const Chart& chart, double fieldTop, double scale)
{
    std::vector<Level> levels;
    if (chart.kind == ChartKind::Notes) {
        for (const std::int32_t stride : {1, 2, 3, 4, 6}) {
            Level level;
            for (std::int32_t key = kFirstC; key <= kLastC; key += 12 * stride) {
                level.push_back({fieldTop + (160.5 - key) * scale, keyName(key)});
            }
            levels.push_back(std::move(level));
        }
    } else if (chart.kind == ChartKind::Duty) {
        for (const int stride : {1, 2, 3, 6}) {
            Level level;
            for (int percent = 0; percent <= kHighestPercent; percent += stride) {
                level.push_back({fieldTop + (kDutyBaseRow - percent * kRowsPerPercent) * scale, percentText(percent)});
            }
            levels.push_back(std::move(level));
        }
    }
    return levels;
}

// The box of one label in a row (`across`: under the field, else beside it),
// centred on its place and held inside the padding of 0..`extent`.
LayoutBox labelBox(const Wanted& wanted, bool across, double line, double extent, const LabelMetrics& metrics)
{
    const double width = metrics.width(wanted.text);
    if (across) {
        const double left = std::clamp(wanted.at - width / 2, kPadding, std::max(kPadding, extent - kPadding - width));
        return {left, line, width, metrics.lineHeight};
    }
    const double top = std::clamp(wanted.at - metrics.lineHeight / 2, 0.0, std::max(0.0, extent - metrics.lineHeight));
    return {line - width, top, width, metrics.lineHeight};
}

// Whether `box` keeps its distance from `before` along the row.
bool clearOf(const LayoutBox& box, const LayoutBox& before, bool across)
{
    return across ? box.left >= before.right() + kSpacing : box.bottom() + kGap <= before.top;
}

// Whether every label of `level` keeps its distance from the one before. It
// measures up to the first that does not: a long song's finer levels hold
// thousands of labels, and measuring a text means shaping it.
bool fits(const Level& level, bool across, double line, double extent, const LabelMetrics& metrics)
{
    std::optional<LayoutBox> before;
    for (const Wanted& wanted : level) {
        const LayoutBox box = labelBox(wanted, across, line, extent, metrics);
        if (before && !clearOf(box, *before, across)) {
            return false;
        }
        before = box;
    }
    return true;
}

// The first level whose labels all keep their distance; when none does, the
// sparsest with every label that would touch the one before left out. Each
// label kept gets its tick at its place.
void placeRow(const std::vector<Level>& levels, bool across, double line, double extent, const LabelMetrics& metrics,
              const LayoutBox& field, ChartLayout& layout)
{
    if (levels.empty()) {
        return;
    }
    std::size_t chosen = levels.size() - 1;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (fits(levels[i], across, line, extent, metrics)) {
            chosen = i;
            break;
        }
    }
    const Level& level = levels[chosen];
    std::optional<LayoutBox> kept;
    for (std::size_t i = 0; i < level.size(); ++i) {
        const LayoutBox box = labelBox(level[i], across, line, extent, metrics);
        if (kept && !clearOf(box, *kept, across)) {
            continue;
        }
        kept = box;
        layout.labels.push_back({level[i].text, box});
        if (across) {
            layout.ticks.push_back({std::min(level[i].at, field.right() - 1), field.bottom(), 1, kTick});
        } else {
            layout.ticks.push_back({field.left - kTick, std::min(level[i].at, field.bottom() - 1), kTick, 1});
        }
    }
}

}  // namespace

ChartLayout chartLayout(const Chart& chart, double width, double height, const LabelMetrics& metrics)
{
    ChartLayout layout;
    if (chart.width <= 0 || chart.height <= 0) {
        return layout;
    }
    const Margins margins = marginsOf(chart, metrics);
    const double roomX = width - margins.left - kPadding;
    const double roomY = height - 2 * kPadding - margins.bottomBand;
    const double scale = std::min(roomX / chart.width, roomY / pictureHeight(chart));
    if (scale <= 0) {
        return layout;
    }
    layout.scale = scale;
    const double spareX = roomX - chart.width * scale;
    const double spareY = roomY - pictureHeight(chart) * scale;
    const LayoutBox field{margins.left + spareX / 2, kPadding + spareY / 2, chart.width * scale, chart.height * scale};
    layout.field = field;
    const double band = field.bottom() + margins.bottomBand;
    if (chart.figuresHeight > 0) {
        layout.figures = {field.left, band, field.width, chart.figuresHeight * scale};
    }
    const double underLine = band - metrics.lineHeight;
    if (chart.kind == ChartKind::Spectrum) {
        layout.marks = {field.left, field.bottom(), field.width, kMarks};
        placeRow(keyLevels(field.left, scale), true, underLine, width, metrics, field, layout);
        // The note names have no ticks: the band of marks is under the bars.
        layout.ticks.clear();
    } else {
        placeRow(timeLevels(chart, field.left, scale), true, underLine, width, metrics, field, layout);
        // Beside the field, above the row under it: the lowest label (0 %)
        // would otherwise reach into the corner the first time takes.
        placeRow(sideLevels(chart, field.top, scale), false, field.left - kTick - kGap, underLine, metrics, field, layout);
    }
    return layout;
}

LayoutSize chartAreaFor(const Chart& chart, int scale, const LabelMetrics& metrics)
{
    const Margins margins = marginsOf(chart, metrics);
    return {static_cast<int>(std::ceil(margins.left + kPadding + chart.width * scale)),
            static_cast<int>(std::ceil(2 * kPadding + margins.bottomBand + pictureHeight(chart) * scale))};
}

LayoutBox keyMarkBox(const ChartLayout& layout, std::int32_t key)
{
    return {layout.marks.left + 3.0 * (key - 1) * layout.scale, layout.marks.top, 3.0 * layout.scale,
            layout.marks.height};
}
