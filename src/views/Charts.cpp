#include "views/Charts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <future>
#include <iterator>
#include <limits>
#include <optional>

namespace {

constexpr std::int32_t kWideWidth = 381;
constexpr std::int32_t kWideHeight = 151;
constexpr std::int32_t kNotesWidth = 338;
constexpr std::int32_t kNotesHeight = 163;

constexpr double kBarFullHeight = 140.0;
constexpr std::int32_t kBaseRow = 150;
constexpr double kDutyAtTop = 0.0675;

// Truncation toward zero that holds values past the 32-bit range at its ends
// (a zero tEnd or a huge weight ratio must not make the conversion undefined).
std::int32_t truncated(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

Chart emptyChart(ChartKind kind)
{
    Chart chart;
    chart.kind = kind;
    chart.width = kind == ChartKind::Notes ? kNotesWidth : kWideWidth;
    chart.height = kind == ChartKind::Notes ? kNotesHeight : kWideHeight;
    chart.messageBox = {5, 5, chart.width - 1, chart.height - 1};
    chart.figuresHeight = kind == ChartKind::Duty ? kDutyFiguresHeight : 0;
    return chart;
}

}  // namespace

Chart spectrumChart(const KeyWeights& weights)
{
    Chart chart = emptyChart(ChartKind::Spectrum);
    chart.bars.reserve(weights.weight.size() - 1);
    for (std::int32_t key = 1; key < static_cast<std::int32_t>(weights.weight.size()); ++key) {
        const double ratio = weights.weight[static_cast<std::size_t>(key)] / weights.scale;
        chart.bars.push_back({3 * (key - 1), truncated(kBaseRow - ratio * kBarFullHeight), 3 * key, kBaseRow});
    }
    return chart;
}

Chart notesChart(const std::vector<PairedNote>& notes, std::int32_t tEnd)
{
    Chart chart = emptyChart(ChartKind::Notes);
    chart.bars.reserve(notes.size());
    if (tEnd > 0) {
        chart.timeAxis = Chart::TimeAxis{tEnd, static_cast<std::int32_t>(kNotesWidth)};
    }
    const double end = tEnd;
    for (const PairedNote& note : notes) {
        const double start = note.start;
        const double stop = start + static_cast<double>(note.length);
        const std::int32_t row = 160 - note.key;
        chart.bars.push_back({truncated(start / end * kNotesWidth), row, truncated(stop / end * kNotesWidth), row + 1});
    }
    return chart;
}

namespace {

// The bars of a duty chart, added point by point: `count` points in all, the
// last at `lastMs`. Fewer than two points draw nothing.
class DutyBars {
public:
    DutyBars(std::size_t count, std::int32_t lastMs) : m_chart(emptyChart(ChartKind::Duty)), m_end(lastMs)
    {
        if (count < 2) {
            return;
        }
        m_chart.bars.reserve(count - 1);
        if (lastMs > 0) {
            m_chart.timeAxis = Chart::TimeAxis{lastMs, static_cast<std::int32_t>(kWidth)};
        }
    }

    void add(const DutyPoint& to)
    {
        if (m_from) {
            m_chart.bars.push_back({truncated(m_from->timeMs / m_end * kWidth),
                                    truncated(151.0 - (150.0 * m_from->duty / kDutyAtTop)),
                                    truncated(to.timeMs / m_end * kWidth), kBaseRow});
        }
        m_from = to;
    }

    Chart take() { return std::move(m_chart); }

private:
    static constexpr double kWidth = kWideWidth - 1;
    Chart m_chart;
    double m_end;
    std::optional<DutyPoint> m_from;
};

}  // namespace

Chart dutyChart(const std::vector<DutyPoint>& points)
{
    DutyBars bars(points.size(), points.empty() ? 0 : points.back().timeMs);
    for (const DutyPoint& point : points) {
        bars.add(point);
    }
    return bars.take();
}

Chart dutyChartOfEntries(const std::vector<NoteListEntry>& entries, DutySummary& window)
{
    std::size_t count = 0;
    std::int32_t lastMs = 0;
    for (const NoteListEntry& entry : entries) {
        if (givesDutyPoint(entry, kDutyWindowKeys)) {
            ++count;
            lastMs = entry.timeMs;
        }
    }
    DutySummaryBuilder summary;
    DutyBars bars(count, lastMs);
    forEachDutyPoint(entries, kDutyWindowKeys, [&](const DutyPoint& point) {
        bars.add(point);
        summary.add(point);
    });
    window = summary.summary();
    return bars.take();
}

std::optional<std::int32_t> playheadColumn(const Chart& chart, std::int32_t elapsedMs)
{
    if (!chart.timeAxis || chart.width < 3) {
        return std::nullopt;
    }
    const double at = static_cast<double>(elapsedMs) / chart.timeAxis->endMs * chart.timeAxis->width;
    return std::clamp(truncated(at), 1, chart.width - 2);
}

std::vector<std::vector<Chart::Stretch>> keyStretches(const std::vector<PairedNote>& notes)
{
    std::vector<std::vector<Chart::Stretch>> stretches(128);
    for (const PairedNote& note : notes) {
        if (note.key >= 0 && note.key < 128 && note.length > 0) {
            const auto end = static_cast<std::int64_t>(note.start) + note.length;
            stretches[static_cast<std::size_t>(note.key)].push_back(
                {note.start, static_cast<std::int32_t>(std::min<std::int64_t>(end, std::numeric_limits<std::int32_t>::max()))});
        }
    }
    for (std::vector<Chart::Stretch>& key : stretches) {
        std::sort(key.begin(), key.end(), [](const Chart::Stretch& a, const Chart::Stretch& b) { return a.start < b.start; });
        std::vector<Chart::Stretch> joined;
        for (const Chart::Stretch& stretch : key) {
            if (!joined.empty() && stretch.start <= joined.back().end) {
                joined.back().end = std::max(joined.back().end, stretch.end);
            } else {
                joined.push_back(stretch);
            }
        }
        key = std::move(joined);
    }
    return stretches;
}

std::vector<std::int32_t> soundingKeys(const Chart& chart, std::int32_t elapsedMs)
{
    std::vector<std::int32_t> keys;
    for (std::size_t key = 0; key < chart.keyStretches.size(); ++key) {
        const std::vector<Chart::Stretch>& stretches = chart.keyStretches[key];
        // The last stretch that starts at or before the time.
        const auto after = std::upper_bound(stretches.begin(), stretches.end(), elapsedMs,
                                            [](std::int32_t ms, const Chart::Stretch& s) { return ms < s.start; });
        if (after != stretches.begin() && elapsedMs < std::prev(after)->end) {
            keys.push_back(static_cast<std::int32_t>(key));
        }
    }
    return keys;
}

std::optional<std::int32_t> dutyLimitRow(std::optional<double> limitPercent)
{
    if (!limitPercent) {
        return std::nullopt;
    }
    const std::int32_t row = truncated(151.0 - (150.0 * (*limitPercent / 100.0) / kDutyAtTop));
    if (row < 1) {
        return std::nullopt;
    }
    return std::min(row, kBaseRow - 1);
}

namespace {

// A duty as a percentage with two decimals. to_chars, not printf: the panel
// runs under the user's locale, and the figures keep the decimal point the
// command line prints.
std::string percent(double fraction)
{
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), fraction * 100.0, std::chars_format::fixed, 2);
    return std::string(text.data(), end.ptr);
}

}  // namespace

std::string dutySummaryText(const DutySummary& summary)
{
    return "peak " + percent(summary.peak) + " % at " + std::to_string(summary.peakMs) + " ms, mean " +
           percent(summary.mean) + " %";
}

std::string dutyFiguresText(const DutySummary& window, double coilPeak, std::optional<double> limitPercent)
{
    std::string line = "Window " + dutySummaryText(window) + "; coil peak " + percent(coilPeak) + " %";
    if (limitPercent) {
        std::array<char, 32> text{};
        const auto end = std::to_chars(text.data(), text.data() + text.size(), *limitPercent);
        line += "; limit " + std::string(text.data(), end.ptr) + " %";
    }
    return line;
}

Chart noFileChart(ChartKind kind)
{
    Chart chart = emptyChart(kind);
    chart.message = kNoFileText;
    return chart;
}

Chart chartForSong(ChartKind kind, const LoadedSong& song, const std::string& fileName)
{
    const auto limitRow = kind == ChartKind::Duty ? dutyLimitRow(song.options.coilLimits.dutyLimitPercent) : std::nullopt;
    if (song.stopped) {
        return emptyChart(kind);
    }
    if (!song.notes.ok()) {
        Chart chart = emptyChart(kind);
        chart.message = *song.notes.error;
        chart.limitRow = limitRow;
        return chart;
    }
    const std::vector<NoteListEntry>& entries = song.notes.entries;
    Chart chart;
    switch (kind) {
    case ChartKind::Spectrum: {
        const std::vector<PairedNote> notes = pairNotes(entries);
        chart = spectrumChart(keyWeights(notes));
        chart.keyStretches = keyStretches(notes);
        break;
    }
    case ChartKind::Notes:
        chart = notesChart(pairNotes(entries), entries.empty() ? 0 : entries.back().timeMs);
        break;
    case ChartKind::Duty: {
        // The coil's peak runs the coil's limits over every entry, a pass as
        // long as the chart's own: the two go side by side, on the caller's
        // thread alone where no other thread can be started.
        auto coilPeak = std::async(std::launch::async | std::launch::deferred,
                                   [&entries, &song] { return coilDutySummary(entries, song.options).peak; });
        DutySummary window;
        chart = dutyChartOfEntries(entries, window);
        chart.figures = dutyFiguresText(window, coilPeak.get(), song.options.coilLimits.dutyLimitPercent);
        break;
    }
    }
    chart.limitRow = limitRow;
    chart.message = song.readFailureText(fileName);
    const bool anyNote = std::any_of(entries.begin(), entries.end(), [](const NoteListEntry& e) { return e.velocity > 0; });
    if (chart.message.empty() && !anyNote) {
        chart.message = "No notes on channel " + std::to_string(song.channel);
    }
    if (!anyNote) {
        chart.figures.clear();
    }
    return chart;
}
