#pragma once

#include "base/Diagnostics.h"
#include "coilmodel/CoilLimiter.h"
#include "midifile/MidiFile.h"
#include "rig/CoilNotes.h"
#include "rig/Rig.h"
#include "song/PlaybackOptions.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a rig will do with a song, worked out before it plays from the same
// note lists and coil model that playback uses: the channels with notes that
// no coil plays, and for each coil what its note rule and its limits do.

// A channel (0..15) with notes, and the name of the first track that holds
// its notes ("" when that track has none).
struct CheckedChannel {
    std::int32_t channel = 0;
    std::int64_t notes = 0;
    std::string trackName;
    friend bool operator==(const CheckedChannel&, const CheckedChannel&) = default;
};

struct CoilCheck {
    std::string coil;
    CoilNoteCounts counts;  // played, dropped by transpose or voices, stolen, most at once
    // The coil model's peak estimate of what the song asks of the coil (as a
    // fraction, every key, before any limit) and the coil's duty limit.
    double dutyPeak = 0.0;
    std::int32_t dutyPeakMs = 0;
    std::optional<double> dutyLimitPercent;
    // What the coil's limits would do to the notes: softened, dropped, cut.
    CoilLimitCounts limited;
    // The maximum note length in force, and the notes that are longer.
    std::optional<std::int32_t> maxNoteMs;
    std::int64_t longNotes = 0;
};

struct SongCheck {
    std::vector<CheckedChannel> unplayed;  // in channel order
    std::vector<CoilCheck> coils;          // in rig order
    // For a song of which the rig plays nothing or very little (under a tenth
    // of its notes): the channel with the most notes that no coil plays,
    // leaving out channel 9 (the usual drum channel).
    std::optional<CheckedChannel> suggestion;
    // Why the song could not be checked: the reader's or the note list's
    // error. Nothing else is set then.
    std::optional<std::string> error;
    // The stop flag ended the check early: nothing here counts.
    bool stopped = false;
};

// For each channel, the name (meta event 03) of the first track in file order
// with a note-on of that channel; "" when there is none. The tracks must still
// be apart (as readAndPrepareSong leaves them).
std::array<std::string, 16> channelTrackNames(const MidiFile& file);

// The check of `fileName` on `rig` under `options` (the coils' own settings
// laid over them as playback lays them). The reader's diagnostics go to `sink`.
// A raised `stop` ends the work early, with `stopped` set.
SongCheck checkSong(const std::string& fileName, const Rig& rig, const PlaybackOptions& options,
                    DiagnosticSink& sink = noDiagnostics(), const std::atomic<bool>* stop = nullptr);

// One line for the status bar when something is wrong, else "":
// "Check: 212 notes on channels no coil plays, 37 stolen on Lead".
std::string checkSummaryLine(const SongCheck& check);
// The report as text, a line per finding.
std::string checkReportText(const SongCheck& check);
// The CSV header, and the report as one row per finding under it, for `song`.
extern const char* const kCheckCsvHeader;
std::string checkReportCsv(const std::string& song, const SongCheck& check);
