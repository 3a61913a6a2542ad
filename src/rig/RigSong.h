#pragma once

#include "rig/CoilNotes.h"
#include "rig/Rig.h"
#include "song/SongLoader.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A song read and prepared for every coil of a rig: the one read-and-prepare
// of a song (readAndPrepareSong), then every coil's note list from one walk
// (extractRigNotes). What playback plays, and what the command-line tool and
// the analysis of one coil see.
struct LoadedRigSong {
    ReadResult read;
    Rig rig;
    // One per coil, in rig order. An error or a stop is every list's.
    std::vector<CoilNoteList> coils;
    // The options it was loaded with.
    PlaybackOptions options;
    // The stop flag was raised before the song was ready: the lists are empty
    // and nothing else here is to be acted on.
    bool stopped = false;

    // The song as coil `index` plays it, as loadSong gives a song: its note
    // list, its options (coilOptions) and its first channel (the Options'
    // channel when it has none). For the default rig's coil it is exactly
    // what loadSong gives.
    LoadedSong coilSong(std::size_t index) const;
    // True when no coil has a single entry.
    bool silent() const;
};

// Reads `fileName` and extracts the note list of every coil of `rig` with
// `options`, as loadSong does for one channel (only the notes of the coils'
// channels and the tempi are kept): the reader's diagnostics, then
// the tempo changes, go to `sink`, and a raised `stop` ends the work within
// milliseconds with `stopped` set and nothing more printed.
LoadedRigSong loadRigSong(const std::string& fileName, const Rig& rig, const PlaybackOptions& options,
                          const std::atomic<bool>* stop = nullptr, DiagnosticSink& sink = noDiagnostics());

// The speed a song is shown and played at: `speedPercent` when given (the
// speed in force), else its song settings' speed, else 100 %.
std::int32_t songSpeed(const SongSettings& settings, std::optional<std::int32_t> speedPercent);

// What one coil of a rig plays of a song: the rig with the song's settings
// laid over it (applySongSettings) narrowed to that coil, and the options at
// the song's speed (songSpeed).
struct CoilSongSetup {
    Rig rig;  // the one coil
    PlaybackOptions options;
};

// The setup of the coil named `coil` of `rig` for a song of `settings`;
// nothing when the rig has no coil of that name.
std::optional<CoilSongSetup> coilSongSetup(Rig rig, const SongSettings& settings, const std::string& coil,
                                           std::optional<std::int32_t> speedPercent, PlaybackOptions options);

// `fileName` as the coil of `setup` plays it (loadRigSong of that one coil),
// as loadSong gives a song: what the analysis of one coil shows.
LoadedSong loadCoilSong(const std::string& fileName, const CoilSongSetup& setup,
                        const std::atomic<bool>* stop = nullptr, DiagnosticSink& sink = noDiagnostics());
