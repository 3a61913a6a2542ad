#pragma once

#include "coilmodel/CoilLimiter.h"
#include "coilmodel/CoilModel.h"
#include "song/NoteList.h"
#include "song/PlaybackOptions.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The analysis of a note list that the three analysis windows draw. Pure
// functions: no Qt, no I/O; results are sized to the song.

// A note-on entry matched with the note-off that ends it.
struct PairedNote {
    std::int32_t key = 0;
    std::int32_t velocity = 0;  // the note-on velocity
    std::int32_t start = 0;     // ms, the note-on entry's time
    std::int32_t length = 0;    // ms, note-off time minus note-on time, held within 32 bits
};

inline bool operator==(const PairedNote& a, const PairedNote& b)
{
    return a.key == b.key && a.velocity == b.velocity && a.start == b.start && a.length == b.length;
}

// Pairs each note-on (velocity > 0) with the first later entry of the same key
// whose velocity is exactly 0, in the order of the note-ons; a note-on without
// one is dropped, and two note-ons before one note-off both end there.
// Linear in the number of entries.
std::vector<PairedNote> pairNotes(const std::vector<NoteListEntry>& entries);

struct KeyWeights {
    // Sum of velocity x length per key.
    std::array<double, 128> weight{};
    // The largest weight, but at least 1.0.
    double scale = 1.0;
};
// Notes of keys outside 0..127 weigh nothing.
KeyWeights keyWeights(const std::vector<PairedNote>& notes);

struct DutyPoint {
    std::int32_t timeMs = 0;
    double duty = 0.0;
};
inline bool operator==(const DutyPoint& a, const DutyPoint& b)
{
    return a.timeMs == b.timeMs && a.duty == b.duty;
}

// One point per note-off and per note-on of the keys taken, with the
// two-voice model: the Duty Cycle window's figure with keys 36..93.
std::vector<DutyPoint> dutyPoints(const std::vector<NoteListEntry>& entries, KeyFilter keys = kDutyWindowKeys);

// Whether an entry gives dutyPoints a point.
inline bool givesDutyPoint(const NoteListEntry& entry, KeyFilter keys)
{
    return entry.velocity == 0 || keys.admits(entry.key);
}

// The points of dutyPoints handed to `sink` one at a time, in order, for a
// caller that need not keep them all (a song's points take 16 bytes each).
template <typename Sink>
void forEachDutyPoint(const std::vector<NoteListEntry>& entries, KeyFilter keys, Sink&& sink)
{
    TwoVoiceTracker voices(keys);
    for (const NoteListEntry& entry : entries) {
        if (!givesDutyPoint(entry, keys)) {
            continue;
        }
        if (entry.velocity == 0) {
            voices.noteOff(entry.key);
        } else {
            voices.noteOn(entry.key, entry.velocity);
        }
        sink(DutyPoint{entry.timeMs, voices.duty()});
    }
}

// The coil model's estimate of what playback sends (every key, the velocity
// after the curve, through options.coilLimits): one point per message that
// leaves, at its entry's time (a cut at the time it falls due), cuts before
// the entries due with them. `counts` receives what the limits did.
std::vector<DutyPoint> coilDutyPoints(const std::vector<NoteListEntry>& entries, const PlaybackOptions& options,
                                      CoilLimitCounts* counts = nullptr);

// A duty graph in two numbers.
struct DutySummary {
    double peak = 0.0;        // the largest duty of any point
    std::int32_t peakMs = 0;  // the time of the first point with it; 0 without points
    // The time-weighted mean: each point's duty holds until the next point, over
    // the span from the first point to the last. 0 with fewer than two points
    // or when the first and last point fall at the same time.
    double mean = 0.0;
};
DutySummary summarizeDuty(const std::vector<DutyPoint>& points);

// The summary of points given one at a time in time order, without keeping
// them: the same figures as summarizeDuty over the same points.
class DutySummaryBuilder {
public:
    void add(const DutyPoint& point);
    DutySummary summary() const;

private:
    DutySummary m_summary;
    DutyPoint m_first;
    DutyPoint m_last;
    double m_area = 0.0;
    bool m_any = false;
};

// summarizeDuty(coilDutyPoints(entries, options, counts)) without the points.
DutySummary coilDutySummary(const std::vector<NoteListEntry>& entries, const PlaybackOptions& options,
                            CoilLimitCounts* counts = nullptr);

// Per-channel note counts of a song, for choosing the channel to play.
struct ChannelNotes {
    std::int32_t channel = 0;
    std::int64_t notes = 0;     // note-on entries with a positive velocity
    std::int32_t firstMs = 0;   // time of the first entry of that channel's note list
    std::int32_t lastMs = 0;    // time of its last entry
};

inline bool operator==(const ChannelNotes& a, const ChannelNotes& b)
{
    return a.channel == b.channel && a.notes == b.notes && a.firstMs == b.firstMs && a.lastMs == b.lastMs;
}
