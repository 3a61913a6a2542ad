#pragma once

#include "midifile/MidiFile.h"
#include "song/NoteList.h"
#include "song/PlaybackOptions.h"

#include <atomic>
#include <string>

// What reading a song and preparing its note list gave: the one path from a
// file name to the notes that playback, the command-line tool and the analysis
// windows all take, so that what they show is what the coil plays.
struct LoadedSong {
    ReadResult read;
    NoteList notes;
    // The channel the notes are of: options.playChannel as given.
    std::int32_t channel = 0;
    // The options it was loaded with: what the coil's figures of the song
    // (the velocity curve, the limits) are reckoned with.
    PlaybackOptions options;
    // The stop flag was raised before the song was ready: the notes are empty
    // and nothing else here is to be acted on.
    bool stopped = false;

    // The line that explains a failed or partial read: the reader's first
    // diagnostic, or "Error: cannot open file PATH" when it printed nothing.
    // Empty after a complete read.
    std::string readFailureText(const std::string& fileName) const;
};

// Reads `fileName` into `file` and prepares it as extraction needs it: in
// absolute ticks with each track sorted for a walk in merge order
// (sortTracksForMerge: the walk merges as it goes, so a big song's events are
// neither moved nor held twice). Returns how the read went; a raised `stop`
// (looked at between chunks of the read and between tracks) ends the work early and returns false, with nothing more printed. Only the
// events `keep` selects are kept (all of them by default).
bool readAndPrepareSong(MidiFile& file, const std::string& fileName, ReadResult& read,
                        const std::atomic<bool>* stop = nullptr, DiagnosticSink& sink = noDiagnostics(),
                        EventSelection keep = EventSelection::everything());

// Reads and prepares `fileName` (readAndPrepareSong) and extracts the note list of options.playChannel, exactly as playback does. Only the
// events the note list needs are kept (noteTimesEventsOf), which gives the
// same list. Reader diagnostics and tempo changes go to `sink`, in that order.
// When `stop` is given it is looked at between chunks of the read, between
// tracks and between chunks of the extraction, so a raised flag ends the work within milliseconds even
// on a very large file, with `stopped` set and nothing more printed.
LoadedSong loadSong(const std::string& fileName, const PlaybackOptions& options,
                    const std::atomic<bool>* stop = nullptr, DiagnosticSink& sink = noDiagnostics());
