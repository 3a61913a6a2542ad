#pragma once

#include "song/SongLoader.h"
#include "views/Analysis.h"
#include "views/Chart.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The charts the three analysis windows paint, as rectangles in each window's
// logical field. Horizontal and vertical coordinates are computed in double
// precision and truncated toward zero; values past the 32-bit range are held
// at its ends, so no input makes a coordinate undefined. A rectangle whose
// right is not beyond its left, or whose bottom is not below its top, covers no
// pixel and is kept in `bars` all the same, so that bar i stays the i-th fill.

inline constexpr const char* kNoFileText = "No file loaded!";

// 381 x 151; for each key 1..127 (key 0 is never drawn) the fill from
// x = 3 (k - 1) to 3 k, from the row 150 up to 150 - weight / scale x 140.
Chart spectrumChart(const KeyWeights& weights);

// 338 x 163; per paired note, in order, the fill from start / tEnd x 338 to
// (start + length) / tEnd x 338, rows 160 - key to 161 - key. `tEnd` is the
// time of the last note-list entry.
Chart notesChart(const std::vector<PairedNote>& notes, std::int32_t tEnd);

// 381 x 151; n points give n - 1 fills: fill i - 1 reaches from
// point(i - 1).time / tEnd x 380 to point(i).time / tEnd x 380, from the row
// 151 - 150 x point(i - 1).duty / 0.0675 down to 150, tEnd being the last
// point's time. A duty above 0.0675 reaches above the field.
Chart dutyChart(const std::vector<DutyPoint>& points);

// dutyChart(dutyPoints(entries)), with summarizeDuty of the same points in
// `window`, made as the points come: a long song's points are never all
// kept (the window opens sooner for the memory it does not fill).
Chart dutyChartOfEntries(const std::vector<NoteListEntry>& entries, DutySummary& window);

// The column of the field where the playhead stands when the song's clock
// reads `elapsedMs`: elapsed / endMs x timeWidth of the chart's time axis,
// truncated toward zero and held inside the field (1..width - 2). None for a
// chart without a time axis.
std::optional<std::int32_t> playheadColumn(const Chart& chart, std::int32_t elapsedMs);

// When each key sounds: per key 0..127, the stretches covered by its paired
// notes, notes that overlap or touch joined into one stretch; a note of no
// length covers nothing, and keys outside 0..127 are left out.
std::vector<std::vector<Chart::Stretch>> keyStretches(const std::vector<PairedNote>& notes);

// The keys sounding when the song's clock reads `elapsedMs`, ascending: those
// with a stretch from at or before it to after it. The Frequency Analysis
// window marks them as the playhead's counterpart.
std::vector<std::int32_t> soundingKeys(const Chart& chart, std::int32_t elapsedMs);

// The logical rows of the Duty Cycle window's strip of figures under its field.
inline constexpr std::int32_t kDutyFiguresHeight = 30;

// The row where the duty window draws a duty limit of `limitPercent`: the top
// a bar of that duty would have, 151 - 150 x (limitPercent / 100) / 0.0675
// truncated toward zero, held at 149 (the lowest row inside the field). None
// without a limit, and none for a limit whose row would be the top border or
// above it (a limit past 6.75 %): no bar under it can reach it in the field.
std::optional<std::int32_t> dutyLimitRow(std::optional<double> limitPercent);

// "peak P % at T ms, mean M %": the first highest point and the mean, each a
// percentage to two decimals, as the window and quillarc-cli duty --summary
// give them.
std::string dutySummaryText(const DutySummary& summary);

// The duty window's line of figures: "Window peak P % at T ms, mean M %; coil
// peak C %", then "; limit L %" when a limit is set. P and M are the window's
// own estimate, C the coil model's peak over every key; each to two decimals,
// the limit as short as it reads exactly ("4", "4.5").
std::string dutyFiguresText(const DutySummary& window, double coilPeak, std::optional<double> limitPercent);

// The empty field of `kind` with kNoFileText as its message.
Chart noFileChart(ChartKind kind);

// What a window draws for a song loaded with loadSong:
//  - read completely: the bars of its note list, no message, or "No notes on
//    channel N" when the list holds no note-on with a positive velocity;
//  - read in part (the reader stopped at bad data): the bars of what was read,
//    which is what playback would play, with the reader's first diagnostic line
//    as the message;
//  - not read at all: no bars but the spectrum's empty ones, with the reader's
//    first diagnostic line, or "Error: cannot open file PATH" when the file
//    could not be opened;
//  - the note list could not be built (a set-tempo of 0, a time past 32 bits,
//    an unusable division): no bars, and the extraction's message, which is
//    also what playback refuses the song with, even after a failed read;
//  - loading was stopped: the empty field with no message.
// The duty chart has the strip of figures in every case and the limit row of
// the song's options; its figures are those of dutyPoints and coilDutyPoints
// when the note list holds a note-on, and empty otherwise.
Chart chartForSong(ChartKind kind, const LoadedSong& song, const std::string& fileName);
