#pragma once

#include "playback/SongLoader.h"
#include "views/Analysis.h"
#include "views/Chart.h"

#include <cstdint>
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
Chart chartForSong(ChartKind kind, const LoadedSong& song, const std::string& fileName);
