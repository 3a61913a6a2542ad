#include "views/Analysis.h"

#include "song/VelocityCurve.h"

#include <limits>
#include <optional>
#include <unordered_map>

namespace {

// The time of the nearest note-off seen so far, per key. Keys of a note list
// are bytes (0..255, before or after the low-note shift); anything else, which
// only a hand-made list holds, goes to a map.
class NextOffTimes {
public:
    std::optional<std::int32_t>& at(std::int32_t key)
    {
        if (key >= 0 && key < static_cast<std::int32_t>(kDirectKeys)) {
            return m_direct[static_cast<std::size_t>(key)];
        }
        return m_other[key];
    }

private:
    static constexpr std::size_t kDirectKeys = 256;
    std::array<std::optional<std::int32_t>, kDirectKeys> m_direct{};
    std::unordered_map<std::int32_t, std::optional<std::int32_t>> m_other;
};

std::int32_t saturatedDifference(std::int32_t later, std::int32_t earlier)
{
    const std::int64_t difference = static_cast<std::int64_t>(later) - earlier;
    if (difference > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (difference < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(difference);
}

}  // namespace

std::vector<PairedNote> pairNotes(const std::vector<NoteListEntry>& entries)
{
    // Walking backwards, the nearest later note-off of each key is known when a
    // note-on is reached; a second pass emits the pairs in note-on order.
    std::vector<std::optional<std::int32_t>> endOf(entries.size());
    NextOffTimes nextOff;
    std::size_t paired = 0;
    for (std::size_t i = entries.size(); i-- > 0;) {
        const NoteListEntry& entry = entries[i];
        if (entry.velocity == 0) {
            nextOff.at(entry.key) = entry.timeMs;
        } else if (entry.velocity > 0) {
            endOf[i] = nextOff.at(entry.key);
            paired += endOf[i].has_value() ? 1 : 0;
        }
    }

    std::vector<PairedNote> notes;
    notes.reserve(paired);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (endOf[i]) {
            const NoteListEntry& entry = entries[i];
            notes.push_back({entry.key, entry.velocity, entry.timeMs, saturatedDifference(*endOf[i], entry.timeMs)});
        }
    }
    return notes;
}

KeyWeights keyWeights(const std::vector<PairedNote>& notes)
{
    KeyWeights weights;
    for (const PairedNote& note : notes) {
        if (note.key >= 0 && note.key < static_cast<std::int32_t>(weights.weight.size())) {
            weights.weight[static_cast<std::size_t>(note.key)] +=
                static_cast<double>(note.velocity) * static_cast<double>(note.length);
        }
    }
    weights.scale = 1.0;
    for (const double weight : weights.weight) {
        if (weight > weights.scale) {
            weights.scale = weight;
        }
    }
    return weights;
}

std::vector<DutyPoint> dutyPoints(const std::vector<NoteListEntry>& entries, KeyFilter keys)
{
    std::vector<DutyPoint> points;
    points.reserve(entries.size());
    forEachDutyPoint(entries, keys, [&points](const DutyPoint& point) { points.push_back(point); });
    return points;
}

namespace {

// The points of coilDutyPoints handed to `sink` in order; returns what the
// limits did.
template <typename Sink>
CoilLimitCounts forEachCoilDutyPoint(const std::vector<NoteListEntry>& entries, const PlaybackOptions& options,
                                     Sink&& sink)
{
    CoilLimiter limiter(options.coilLimits);
    // The song's clock stands in for the session's: both advance alike from
    // one note to the next, so the cuts fall where playback makes them. After
    // the last entry the song ends in all-sound-off: no cut follows it.
    std::uint32_t last = entries.empty() ? 0U : static_cast<std::uint32_t>(entries.front().timeMs);
    for (const NoteListEntry& entry : entries) {
        const auto due = static_cast<std::uint32_t>(entry.timeMs);
        for (auto cutAt = limiter.nextCutAt(last); cutAt && static_cast<std::int32_t>(*cutAt - due) <= 0;
             cutAt = limiter.nextCutAt(last)) {
            last = *cutAt;
            limiter.takeDueCut(last);
            sink(DutyPoint{static_cast<std::int32_t>(last), limiter.duty()});
        }
        last = due;
        if (limiter.noteOn(entry.key, curvedVelocity(entry.velocity, options), due)) {
            sink(DutyPoint{entry.timeMs, limiter.duty()});
        }
    }
    return limiter.counts();
}

}  // namespace

std::vector<DutyPoint> coilDutyPoints(const std::vector<NoteListEntry>& entries, const PlaybackOptions& options,
                                      CoilLimitCounts* counts)
{
    std::vector<DutyPoint> points;
    points.reserve(entries.size());
    const CoilLimitCounts done =
        forEachCoilDutyPoint(entries, options, [&points](const DutyPoint& point) { points.push_back(point); });
    if (counts != nullptr) {
        *counts = done;
    }
    return points;
}

DutySummary coilDutySummary(const std::vector<NoteListEntry>& entries, const PlaybackOptions& options,
                            CoilLimitCounts* counts)
{
    DutySummaryBuilder summary;
    const CoilLimitCounts done =
        forEachCoilDutyPoint(entries, options, [&summary](const DutyPoint& point) { summary.add(point); });
    if (counts != nullptr) {
        *counts = done;
    }
    return summary.summary();
}

void DutySummaryBuilder::add(const DutyPoint& point)
{
    if (!m_any) {
        m_any = true;
        m_first = point;
        m_summary.peak = point.duty;
        m_summary.peakMs = point.timeMs;
    } else {
        if (point.duty > m_summary.peak) {
            m_summary.peak = point.duty;
            m_summary.peakMs = point.timeMs;
        }
        m_area += m_last.duty * (static_cast<double>(point.timeMs) - m_last.timeMs);
    }
    m_last = point;
}

DutySummary DutySummaryBuilder::summary() const
{
    // One point or none spans no time.
    DutySummary summary = m_summary;
    const double span = static_cast<double>(m_last.timeMs) - m_first.timeMs;
    if (span != 0.0) {
        summary.mean = m_area / span;
    }
    return summary;
}

DutySummary summarizeDuty(const std::vector<DutyPoint>& points)
{
    DutySummaryBuilder summary;
    for (const DutyPoint& point : points) {
        summary.add(point);
    }
    return summary.summary();
}
