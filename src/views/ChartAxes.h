#pragma once

#include "views/Chart.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The labels around a chart's field, laid out in the pixels of the window or
// image that shows it: a time axis in seconds under the Notes and Duty Cycle
// fields, note names (C0 ... C9) under the Frequency Analysis field and
// beside the Notes rows, the percent scale beside the Duty Cycle field.
//
// The field (with the Duty Cycle strip of figures under its time axis) is
// scaled as a whole, its aspect kept, and centred in what the margins leave.
// The labels keep one text size at any scale: where they would crowd, every
// second (third, ...) note name or a longer step of time or percent is taken,
// and a label that would still touch its neighbour is left out, so that no
// label overlaps another, the field, or the area's edge. Pure: the caller
// measures the text.

// A box in pixels, y downwards.
struct LayoutBox {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;

    double right() const { return left + width; }
    double bottom() const { return top + height; }
    bool operator==(const LayoutBox&) const = default;
};

struct AxisLabel {
    std::string text;
    LayoutBox box;  // the text is centred in it
};

// The size of the labels' text in pixels, as the painter will draw it.
struct LabelMetrics {
    double lineHeight = 0;
    std::function<double(std::string_view text)> width;
};

struct ChartLayout {
    // Pixels per logical pixel of the field; 0 when the area is too small to
    // show anything (then the boxes are empty and there are no labels).
    double scale = 0;
    LayoutBox field;
    // The Duty Cycle strip of figures; empty for the other charts.
    LayoutBox figures;
    // The Frequency Analysis band under the field where the keys sounding
    // now are marked; empty for the other charts.
    LayoutBox marks;
    // One-pixel ticks from the field's edge towards their labels.
    std::vector<LayoutBox> ticks;
    // The axis under the field from left to right, then the one beside it
    // from bottom to top.
    std::vector<AxisLabel> labels;
};

// The layout of `chart` in an area of `width` x `height` pixels.
ChartLayout chartLayout(const Chart& chart, double width, double height, const LabelMetrics& metrics);

struct LayoutSize {
    int width = 0;
    int height = 0;
    bool operator==(const LayoutSize&) const = default;
};

// The smallest area (whole pixels) whose layout shows the field of `chart`
// at `scale` pixels per logical pixel: the windows' minimum size at 1, and
// `plot`'s image at its scale.
LayoutSize chartAreaFor(const Chart& chart, int scale, const LabelMetrics& metrics);

// Where the mark of `key` (1..127) lies in the layout's band of marks: under
// the key's bar, across the band.
LayoutBox keyMarkBox(const ChartLayout& layout, std::int32_t key);
