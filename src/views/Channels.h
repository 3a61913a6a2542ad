#pragma once

#include "midifile/MidiFile.h"
#include "song/PlaybackOptions.h"
#include "views/Analysis.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

// Which channels of a song have notes: what the note list of each channel
// would hold, found in one pass over the merged track.
struct ChannelSurvey {
    // Channels 0..15 whose note list holds at least one note-on with a positive
    // velocity, in channel order. A channel whose extraction would stop with an
    // error is counted up to that point.
    std::vector<ChannelNotes> channels;
    // The first error any channel's extraction would stop with, in event order
    // (a bad tempo stops every channel). Empty when all could be built.
    std::optional<std::string> error;
    // The stop flag ended the walk: nothing here counts.
    bool stopped = false;
};

// `prepared` is in absolute ticks with its tracks merged, as for extractNotes.
// The counts and times are those of extractNotes for each channel under
// `options` (only the channel differs); nothing is printed. A raised `stop`
// ends the walk within a few thousand events, with `stopped` set.
ChannelSurvey surveyChannels(const MidiFile& prepared, const PlaybackOptions& options,
                             const std::atomic<bool>* stop = nullptr);

// A survey of a file read from disk, with how the read went. The reader prints
// its diagnostics on standard output as always.
struct ChannelFileSurvey {
    ReadResult read;
    ChannelSurvey survey;
    // The stop flag ended the read, the merge or the survey: nothing here counts.
    bool stopped = false;
};

// Reads and prepares `fileName` as playback does (readAndPrepareSong), keeping
// the notes and tempi alone, and surveys it. May run on any thread; a raised
// `stop` ends the work early, the read included, with `stopped` set.
ChannelFileSurvey surveyChannelsOfFile(const std::string& fileName, const PlaybackOptions& options,
                                       const std::atomic<bool>* stop = nullptr, DiagnosticSink& sink = noDiagnostics());

// "Notes in this file: channel 1: 412, channel 9: 800": each channel as the
// channel field numbers it, with its note count; empty when there is none.
std::string channelNotesLine(const std::vector<ChannelNotes>& channels);
