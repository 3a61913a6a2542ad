#pragma once

#include "playback/PlaybackOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class MidiFile;

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

    bool ok() const { return !error.has_value(); }
};

// Lead-in before the first tick of a song.
inline constexpr std::int32_t kLeadInMs = 500;

// Builds the note list of options.playChannel from track 0 of `file`, which
// the caller has put through toAbsoluteTicks and mergeTracks. Each entry is
// timed with the tempo in force when it is reached, applied to its whole
// absolute tick count. Tempo changes are announced on standard output. Each
// call keeps its tempo to itself, so extractions on several threads at once do
// not disturb each other. Bad tempo events and times that do not fit in 32 bits
// end extraction with an error instead of ending the process.
NoteList extractNotes(const MidiFile& file, const PlaybackOptions& options);

// Due time of an event at absolute `tick` when the tempo in force is
// `tempoBpm`: the whole tick count at that tempo, truncated to the millisecond,
// plus the lead-in. Nothing when the time does not fit in 32 bits.
std::optional<std::int32_t> noteTimeMs(std::int32_t tick, double tempoBpm, std::int32_t ticksPerQuarter);

// Beats per minute of the set-tempo event at `index` of track 0, or nothing when
// the event holds fewer than three tempo bytes or a tempo of 0 microseconds.
std::optional<double> readTempo(const MidiFile& file, std::int32_t index);
