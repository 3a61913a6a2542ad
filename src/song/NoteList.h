#pragma once

#include "midifile/MidiFile.h"
#include "song/PlaybackOptions.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One note-on to send: a note-off is an entry with velocity 0.
struct NoteListEntry {
    std::int32_t key = 0;       // 0..127, at most 135 before the shift guard
    std::int32_t velocity = 0;  // 0 releases the note
    std::int32_t timeMs = 0;    // due time from the start of playback, 500 ms lead-in included
};

inline bool operator==(const NoteListEntry& a, const NoteListEntry& b)
{
    return a.key == b.key && a.velocity == b.velocity && a.timeMs == b.timeMs;
}

struct NoteList {
    std::vector<NoteListEntry> entries;
    // Set when extraction had to stop: the entries are then not to be played.
    std::optional<std::string> error;
    // The tempo in force after the last event (120 when the file sets none).
    double tempoBpm = 120.0;
    // The caller's stop flag ended extraction: the entries are empty.
    bool stopped = false;

    bool ok() const { return !error.has_value() && !stopped; }
};

// Lead-in before the first tick of a song.
inline constexpr std::int32_t kLeadInMs = 500;

// The speeds a song may be played at, in percent, and the step of the keys
// that change it while it plays.
inline constexpr std::int32_t kSlowestSpeed = 25;
inline constexpr std::int32_t kFastestSpeed = 400;
inline constexpr std::int32_t kSpeedStep = 5;

// A note time `timeMs` (lead-in included) at `speedPercent`: the lead-in
// stays, what follows it is scaled, 500 + (t - 500) * 100 / speed rounded
// down. 64 bits: at 25 % a long song's times pass what 32 bits hold. Times
// inside the lead-in stay as they are.
std::int64_t scaledTimeMs(std::int32_t timeMs, std::int32_t speedPercent);
// The inverse on the song's clock: the time at 100 % that is at `scaledMs`
// at `speedPercent` (rounded down), for going on from a position when the
// speed changes.
std::int64_t unscaledTimeMs(std::int64_t scaledMs, std::int32_t speedPercent);
// Scales every entry of `list` to `speedPercent`; a time that no longer fits
// in 32 bits ends the list with the error extraction gives for one.
void applySpeed(NoteList& list, std::int32_t speedPercent);

// The key sent for `key` under the low-note shift: raised by 8 when the shift
// is on and the key is at or below its limit, unless that would pass 127.
std::int32_t shiftedKey(std::int32_t key, const PlaybackOptions& options);

// Builds the note list of options.playChannel from the events of `file` in
// merge order: the caller has put it through toAbsoluteTicks and mergeTracks
// or sortTracksForMerge. Each entry is
// timed with the tempo in force when it is reached, applied to its whole
// absolute tick count. Tempo changes are announced to `sink`. Each
// call keeps its tempo to itself, so extractions on several threads at once do
// not disturb each other. Bad tempo events and times that do not fit in 32 bits
// end extraction with an error instead of ending the process. When `stop` is
// given, it is looked at every few thousand events; once raised, extraction
// ends with `stopped` set and no entries. The times are at
// options.speedPercent (applySpeed).
NoteList extractNotes(const MidiFile& file, const PlaybackOptions& options, const std::atomic<bool>* stop = nullptr,
                      DiagnosticSink& sink = noDiagnostics());

// Due time of an event at absolute `tick` when the tempo in force is
// `tempoBpm`: the whole tick count at that tempo, truncated to the millisecond,
// plus the lead-in. Nothing when the time does not fit in 32 bits.
std::optional<std::int32_t> noteTimeMs(std::int32_t tick, double tempoBpm, std::int32_t ticksPerQuarter);

// Beats per minute of a set-tempo event, or nothing when the event holds fewer
// than three tempo bytes or a tempo of 0 microseconds.
std::optional<double> tempoOfEvent(const MidiEvent& event);

// How a walk over the note times of a song ended.
struct NoteTimesWalk {
    // The first error met in event order: an unusable division (before any
    // event), a note time that does not fit in 32 bits, or a bad tempo event,
    // which ends the walk. Each is what extraction stops with.
    std::optional<std::string> error;
    double tempoBpm = 120.0;  // in force after the last event walked
    bool stopped = false;     // the stop flag ended the walk
};

namespace noteTimes {
std::string divisionError(std::int32_t ticksPerQuarter);
std::string timeError(std::int32_t tick);
std::string tempoError(std::int32_t tick);
// The line a tempo change is announced with: "Tempo change detected, new
// tempo = 120".
std::string tempoLine(double tempoBpm);
// Events walked between two looks at the stop flag.
inline constexpr std::uint32_t kStopCheckEvents = 4096;
}  // namespace noteTimes

// What a read must keep for the note list of `channel` (none for a channel
// outside 0..15): the walk below looks at note-ons, note-offs and set-tempo
// events only, so over a file read with this selection it hands over the
// same notes and tempi, in the same order, as over the whole file.
EventSelection noteTimesEventsOf(std::int32_t channel);

// The timing rule of extraction, walked once over the events of `file` in
// merge order (put through toAbsoluteTicks and mergeTracks or
// sortTracksForMerge; see MergedEvents): every note-on and note-off whose
// status byte `takes` is handed to `onNote(event, timeMs)` with its due time
// under the tempo in force, or nothing when that time does not fit in 32 bits;
// onNote returns false to end the walk there. Each valid set-tempo event
// changes the tempo for the events after it and is handed to `onTempo(bpm)`.
// When `stop` is given it is looked at every few thousand events.
template <typename Takes, typename OnNote, typename OnTempo>
NoteTimesWalk walkNoteTimes(const MidiFile& file, Takes takes, OnNote onNote, OnTempo onTempo,
                            const std::atomic<bool>* stop)
{
    NoteTimesWalk walk;
    const std::int32_t ticksPerQuarter = file.ticksPerQuarter();
    if (ticksPerQuarter <= 0) {
        walk.error = noteTimes::divisionError(ticksPerQuarter);
        return walk;
    }
    // The events are walked where they lie: every position visited is in
    // range, so the per-event index checks of eventAt would only repeat the
    // walk's own.
    std::uint32_t untilStopCheck = noteTimes::kStopCheckEvents;
    MergedEvents events(file);
    std::optional<std::int32_t> timeMs;
    std::int32_t timedTick = 0;
    bool timeKnown = false;  // timeMs is the time at timedTick under the tempo in force
    while (const MidiEvent* next = events.next()) {
        const MidiEvent& event = *next;
        if (--untilStopCheck == 0) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                walk.stopped = true;
                return walk;
            }
            untilStopCheck = noteTimes::kStopCheckEvents;
        }
        const int status = event.byteOr(0);
        const int kind = status & 0xF0;
        if (kind == 0x90 || kind == 0x80) {
            if (!takes(status)) {
                continue;
            }
            // Chords and the notes of several tracks share their tick: the
            // time of the one before is taken again while the tick and the
            // tempo are the same (the same arguments give the same time).
            if (!timeKnown || event.tick != timedTick) {
                timedTick = event.tick;
                timeMs = noteTimeMs(event.tick, walk.tempoBpm, ticksPerQuarter);
                timeKnown = true;
            }
            if (!timeMs && !walk.error) {
                walk.error = noteTimes::timeError(event.tick);
            }
            if (!onNote(event, timeMs)) {
                return walk;
            }
        } else if (status == 0xFF && event.byteOr(1) == 0x51) {
            const std::optional<double> tempo = tempoOfEvent(event);
            if (!tempo) {
                if (!walk.error) {
                    walk.error = noteTimes::tempoError(event.tick);
                }
                return walk;
            }
            walk.tempoBpm = *tempo;
            timeKnown = false;
            onTempo(walk.tempoBpm);
        }
    }
    return walk;
}
