#pragma once

#include "midifile/MidiFile.h"
#include "song/PlaybackOptions.h"

#include <atomic>
#include <cstdint>
#include <optional>

// How long a song plays: the time of the last entry of its note list under
// `options`, lead-in included (the length "Playing 1:23 / 3:45" shows), from
// `file` put through readAndPrepareSong. Nothing when the list would hold no
// note-on with a velocity, when it cannot be made (playback refuses such a
// song), or when `stop` was raised. The note list's own walk of the times,
// without building the list and without announcing tempo changes: for the
// lengths of a playlist, worked out in the background.
std::optional<std::int32_t> songLengthMs(const MidiFile& file, const PlaybackOptions& options,
                                         const std::atomic<bool>* stop = nullptr);
