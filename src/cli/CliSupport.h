#pragma once

#include "base/ArgCursor.h"
#include "playback/PlaybackOptions.h"

#include <optional>
#include <string>

// The note-list options of notes, play and render: --channel N,
// --shift-low-notes and --lower-limit N. Takes `arg` (with its value from
// `cursor`) into `options` when it is one of them; false otherwise.
bool takeNoteOption(const std::string& arg, ArgCursor& cursor, PlaybackOptions& options);
// Their lines for a command's help text.
extern const char* const kNoteOptionsHelp;
// The same, apart: --channel alone, and the two shift options.
extern const char* const kChannelOptionHelp;
extern const char* const kShiftOptionsHelp;

// What play and render send besides the note list: the velocity curve and
// the channel volume sent first.
struct SendOptions {
    static constexpr int kDefaultVolume = 31;  // where the control panel's slider starts

    std::optional<std::string> curveFile;
    int volume = kDefaultVolume;
};
// --curve FILE and --volume V (0..127), like takeNoteOption.
bool takeSendOption(const std::string& arg, ArgCursor& cursor, SendOptions& send);
extern const char* const kSendOptionsHelp;

// Loads the curve that `send` names into `options` and switches it on. False
// after printing why on standard error.
bool applyCurve(const SendOptions& send, PlaybackOptions& options);
