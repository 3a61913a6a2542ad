#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A chart as its window paints it, in the window's fixed logical coordinates
// (x to the right, y downwards). Rectangles follow the GDI rule: a fill from
// (left, top) to (right, bottom) covers pixels left..right-1 and top..bottom-1.
// The field is the green one-pixel outline of pixels 0..width-1 x 0..height-1
// with a black inside; bars are white and may reach past the field (they are
// clipped to it when painted). The Duty Cycle window adds a strip of figures
// under the field and may cross the field with the coil's duty limit.
struct ChartRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

inline bool operator==(const ChartRect& a, const ChartRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

enum class ChartKind { Spectrum, Notes, Duty };

struct Chart {
    ChartKind kind = ChartKind::Spectrum;
    std::int32_t width = 0;   // 381 for spectrum and duty, 338 for notes
    std::int32_t height = 0;  // 151 for spectrum and duty, 163 for notes
    std::vector<ChartRect> bars;  // white fills, in drawing order
    // Green text on black at the top left of messageBox, wrapped within it:
    // "No file loaded!", why the file could not be read, or that the channel
    // has no notes. Empty for none.
    std::string message;
    // From (5, 5) to one pixel inside the field's far border:
    // (5, 5)-(380, 150) for spectrum and duty, (5, 5)-(337, 162) for notes.
    ChartRect messageBox;
    // Logical rows under the field (0 for none) holding `figures` in green on
    // black, wrapped within them.
    std::int32_t figuresHeight = 0;
    std::string figures;
    // A row of the field crossed from x = 1 to width - 2, over the bars, in a
    // colour of its own.
    std::optional<std::int32_t> limitRow;
    // For a chart across the song's time (notes, duty): the song's time in
    // ms at x = timeWidth, the time at x = 0 being 0. None for the spectrum,
    // and when the song has no time to lay out.
    struct TimeAxis {
        std::int32_t endMs = 0;
        std::int32_t width = 0;
    };
    std::optional<TimeAxis> timeAxis;
    // For the spectrum: when each key 0..127 sounds, as stretches of the
    // song's time from `start` up to `end` (ms), in time order and apart.
    // Empty for the other charts.
    struct Stretch {
        std::int32_t start = 0;
        std::int32_t end = 0;
        bool operator==(const Stretch&) const = default;
    };
    std::vector<std::vector<Stretch>> keyStretches{};
};

// The picture's height: the field and the strip of figures under it.
inline std::int32_t pictureHeight(const Chart& chart)
{
    return chart.height + chart.figuresHeight;
}
