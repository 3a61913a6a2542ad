#pragma once

#include "base/ArgCursor.h"
#include "coilmodel/CoilLimits.h"
#include "midiout/MidiOutput.h"
#include "rig/Rig.h"
#include "song/PlaybackOptions.h"
#include "song/SongSettings.h"

#include <optional>
#include <utility>
#include <vector>
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

// The coil limits of play, render and duty: those of the limits file unless
// --no-limits, each replaced by its flag when given.
struct LimitOptions {
    CoilLimits given;  // the flags, each off unless given
    bool ignoreFile = false;
};
// --duty-limit PERCENT, --max-note-ms MS, --lowest-key N, --highest-key N and
// --no-limits, like takeNoteOption; a value out of its range is a UsageError.
bool takeLimitOption(const std::string& arg, ArgCursor& cursor, LimitOptions& limits);
extern const char* const kLimitOptionsHelp;

// Puts the limits in force into options.coilLimits: the limits file's (read
// from coilLimitsPath()) with the flags laid over them. False after printing
// the file's message on standard error (the command then exits with 2); a
// lowest key above the highest is a UsageError.
bool applyLimits(const LimitOptions& limits, PlaybackOptions& options);

// The output device of --port N or --device NAME (the controller when
// neither is given), or nothing after saying why on standard error. `device`
// is made here once there is any device to count, and holds the device
// table: the choice keeps its meaning for as long as it lives.
std::optional<int> chooseOutputPort(const std::optional<int>& port, const std::optional<std::string>& name,
                                    std::optional<MidiOutput>& device);

// The rig of play, live, panic, render and coils: the rig file
// (rig.conf) unless --rig FILE names another or --no-rig plays the single
// coil without one.
struct RigArgs {
    std::optional<std::string> file;
    bool none = false;
};
// --rig FILE and --no-rig, like takeNoteOption.
bool takeRigOption(const std::string& arg, ArgCursor& cursor, RigArgs& rig);
extern const char* const kRigOptionsHelp;
// The rig file in force into `rig` (empty without one: the single coil). A
// file that --rig names must be there. False after printing the file's
// message on standard error (the command then exits with 2); --rig with
// --no-rig is a UsageError.
bool readRigArgs(const RigArgs& args, const CoilLimits& fileLimits, std::optional<Rig>& rig);

// The song's own settings (its settings file) and what the command line
// puts in their place: --no-song-settings, --speed PERCENT and, for play,
// --loop FROM-TO.
struct SongSettingsArgs {
    bool ignore = false;
    std::optional<std::int32_t> speedPercent;
    std::optional<LoopRegion> loop;
};
// Like takeNoteOption; --loop only when `takesLoop`. A value out of range is
// a UsageError.
bool takeSongSettingsOption(const std::string& arg, ArgCursor& cursor, SongSettingsArgs& song, bool takesLoop);
extern const char* const kSpeedOptionsHelp;
extern const char* const kLoopOptionHelp;
// The settings of `fileName` unless `song.ignore` (none found: empty). False
// after printing why on standard error when its settings file cannot be
// read or parsed; a song that cannot be read has none here (its read says why).
bool songSettingsOf(const std::string& fileName, const SongSettingsArgs& song, SongSettings& settings);

// --channels LIST, --voices N, --keep MODE and --transpose N: the one coil
// without a rig file, beside --channel, each set as the rig file's key of
// that name sets it.
struct SingleCoilArgs {
    std::vector<std::pair<std::string, std::string>> keys;  // rig file key, value
    bool any() const { return !keys.empty(); }
};
bool takeSingleCoilOption(const std::string& arg, ArgCursor& cursor, SingleCoilArgs& coil);
extern const char* const kSingleCoilOptionsHelp;
// The default rig's coil for `options` (the controller, --channel, the
// shift) with the keys given set on it. Throws UsageError for a wrong value.
Coil singleCoil(const SingleCoilArgs& args, const PlaybackOptions& options);
