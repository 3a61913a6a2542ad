#pragma once

#include "rig/RigWriter.h"
#include "song/PlaybackOptions.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the Coils dialog edits: the rig file as it is now and the coils made
// from it. Qt-free.
struct CoilsEdit {
    std::string path;  // the rig file's
    std::string text;  // its text now; empty without a file
    Rig before;        // what `text` parsed to
    std::vector<EditedCoil> coils;
};

// The rig file at `path` ready to edit. Without a file, today's single coil
// made explicit: the controller, the Options' channel, shift and lower limit
// and coil-limits.conf's limits, so that writing it as it is changes nothing
// that plays. Nothing, with the message in `error`, when the file cannot be
// read or parsed: it is not to be written over.
std::optional<CoilsEdit> loadCoilsEdit(const std::string& path, const PlaybackOptions& options, std::string& error);

// A name for a coil added to `coils`: "Coil N" with the lowest N from 2 that
// no coil has.
std::string newCoilName(const std::vector<EditedCoil>& coils);

// What a song has on one channel, for the labels of the channel boxes.
struct SongChannel {
    std::int64_t notes = 0;  // note-ons with a positive velocity
    std::string track;       // the name of the first track with its notes, or empty
};

// What the song at `path` has on each channel: the note counts of its note
// lists under `options` (surveyChannels) and the names of the tracks its
// notes are in (channelTrackNames), from one read. Nothing when it cannot be
// read or `stop` was raised. For a worker.
std::optional<std::array<SongChannel, 16>> songChannels(const std::string& path, const PlaybackOptions& options,
                                                        const std::atomic<bool>* stop);
