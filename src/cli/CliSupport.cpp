#include "cli/CliSupport.h"

#include "coilmodel/CoilLimitsFile.h"
#include "midiout/Controller.h"
#include "rig/RigFile.h"
#include "song/NoteList.h"
#include "song/SongSettingsFile.h"
#include "song/VelocityCurve.h"

#include <array>
#include <iostream>
#include <utility>

// Literals, so that every help text can be joined from them at compile time
// or, in other files, during static initialisation.
#define QUILLARC_CHANNEL_HELP \
    "  --channel N        channel whose notes are taken, 0 to 15, 0 being the\n" \
    "                     first MIDI channel (default 0)\n"
#define QUILLARC_SHIFT_HELP \
    "  --shift-low-notes  raise keys at or below the lower limit by 8 semitones\n" \
    "  --lower-limit N    highest key that is shifted (default 50)\n"
const char* const kChannelOptionHelp = QUILLARC_CHANNEL_HELP;
const char* const kShiftOptionsHelp = QUILLARC_SHIFT_HELP;
const char* const kNoteOptionsHelp = QUILLARC_CHANNEL_HELP QUILLARC_SHIFT_HELP;
#undef QUILLARC_CHANNEL_HELP
#undef QUILLARC_SHIFT_HELP

bool takeNoteOption(const std::string& arg, ArgCursor& cursor, PlaybackOptions& options)
{
    if (arg == "--channel") {
        // Any other number would pick no channel at all and give an empty
        // list that looks like a song without notes.
        options.playChannel = cursor.intValueOf(arg);
        if (options.playChannel < 0 || options.playChannel > 15) {
            throw UsageError("--channel takes a channel from 0 to 15, not " + std::to_string(options.playChannel));
        }
    } else if (arg == "--shift-low-notes") {
        options.shiftLowNotes = 1;
    } else if (arg == "--lower-limit") {
        options.lowerLimit = cursor.intValueOf(arg);
    } else {
        return false;
    }
    return true;
}

const char* const kSendOptionsHelp =
    "  --curve FILE       velocity curve: up to 128 numbers, the velocity to send\n"
    "                     for input velocities 0, 1, 2, ...\n"
    "  --volume V         channel volume sent at the start, 0..127 (default 31, as\n"
    "                     the control panel starts)\n";

bool takeSendOption(const std::string& arg, ArgCursor& cursor, SendOptions& send)
{
    if (arg == "--curve") {
        send.curveFile = cursor.valueOf(arg);
    } else if (arg == "--volume") {
        send.volume = cursor.intValueOf(arg);
        if (send.volume < 0 || send.volume > 127) {
            throw UsageError("--volume takes a value from 0 to 127");
        }
    } else {
        return false;
    }
    return true;
}

bool applyCurve(const SendOptions& send, PlaybackOptions& options)
{
    if (!send.curveFile) {
        return true;
    }
    std::string error;
    if (!loadVelocityCurve(*send.curveFile, options, error)) {
        std::cerr << error << '\n';
        return false;
    }
    options.customCurve = 1;
    return true;
}

const char* const kLimitOptionsHelp =
    "  --duty-limit PERCENT  soften or drop note-ons that would take the coil's\n"
    "                     estimated duty past PERCENT (above 0, at most 100)\n"
    "  --max-note-ms MS   end a note that has sounded for MS milliseconds\n"
    "  --lowest-key N     send no note-on below key N (0..127)\n"
    "  --highest-key N    send no note-on above key N (0..127)\n"
    "  --no-limits        ignore the coil limits file,\n"
    "                     $XDG_CONFIG_HOME/quillarc/coil-limits.conf (by default\n"
    "                     ~/.config/quillarc/coil-limits.conf), whose lines the\n"
    "                     four flags above otherwise replace one by one\n";

namespace {

// Each flag and the key of the limits file whose value it replaces.
constexpr std::array<std::pair<const char*, const char*>, 4> kLimitFlags{{
    {"--duty-limit", "duty_limit_percent"},
    {"--max-note-ms", "max_note_ms"},
    {"--lowest-key", "lowest_key"},
    {"--highest-key", "highest_key"},
}};

template <typename T>
void layOver(std::optional<T>& field, const std::optional<T>& given)
{
    if (given) {
        field = given;
    }
}

}  // namespace

bool takeLimitOption(const std::string& arg, ArgCursor& cursor, LimitOptions& limits)
{
    if (arg == "--no-limits") {
        limits.ignoreFile = true;
        return true;
    }
    for (const auto& [flag, key] : kLimitFlags) {
        if (arg == flag) {
            if (const auto wrong = setCoilLimit(limits.given, key, cursor.valueOf(arg))) {
                throw UsageError(arg + (wrong->badNumber ? ": " : " ") + wrong->text);
            }
            return true;
        }
    }
    return false;
}

bool applyLimits(const LimitOptions& limits, PlaybackOptions& options)
{
    CoilLimits inForce;
    std::string error;
    if (!limits.ignoreFile && !readCoilLimits(coilLimitsPath(), inForce, error)) {
        std::cerr << error << '\n';
        return false;
    }
    layOver(inForce.dutyLimitPercent, limits.given.dutyLimitPercent);
    layOver(inForce.maxNoteMs, limits.given.maxNoteMs);
    layOver(inForce.lowestKey, limits.given.lowestKey);
    layOver(inForce.highestKey, limits.given.highestKey);
    if (const auto wrong = coilKeyRangeError(inForce)) {
        throw UsageError("the coil limits' " + *wrong);
    }
    options.coilLimits = inForce;
    return true;
}

std::optional<int> chooseOutputPort(const std::optional<int>& port, const std::optional<std::string>& name,
                                    std::optional<MidiOutput>& device)
{
    const int devicesPresent = MidiOutPort::service()->deviceCount();
    if (port && devicesPresent <= 0) {
        std::cerr << "Error: there is no output device " << *port << " (devices: " << devicesPresent << ")\n";
        return std::nullopt;
    }
    if (devicesPresent <= 0) {
        std::cerr << (name ? "Error: no device named " + *name : std::string("Error: no compatible controller found"))
                  << '\n';
        return std::nullopt;
    }
    device.emplace();
    const int count = MidiOutput::deviceCount();
    if (port) {
        if (*port < 0 || *port >= count) {
            std::cerr << "Error: there is no output device " << *port << " (devices: " << count << ")\n";
            return std::nullopt;
        }
        return *port;
    }
    if (!name) {
        const int controller = findController();
        if (controller < 0) {
            std::cerr << "Error: no compatible controller found\n";
            return std::nullopt;
        }
        return controller;
    }
    for (int i = 0; i < count; ++i) {
        device->selectPort(i);
        if (device->portName() == *name) {
            return i;
        }
    }
    std::cerr << "Error: no device named " << *name << '\n';
    return std::nullopt;
}

const char* const kRigOptionsHelp =
    "  --rig FILE         the rig of coils in FILE instead of the rig file,\n"
    "                     $XDG_CONFIG_HOME/quillarc/rig.conf (by default\n"
    "                     ~/.config/quillarc/rig.conf)\n"
    "  --no-rig           one coil on the controller, even with a rig file\n";

bool takeRigOption(const std::string& arg, ArgCursor& cursor, RigArgs& rig)
{
    if (arg == "--rig") {
        rig.file = cursor.valueOf(arg);
    } else if (arg == "--no-rig") {
        rig.none = true;
    } else {
        return false;
    }
    return true;
}

bool readRigArgs(const RigArgs& args, const CoilLimits& fileLimits, std::optional<Rig>& rig)
{
    if (args.file && args.none) {
        throw UsageError("give either --rig or --no-rig, not both");
    }
    rig.reset();
    if (args.none) {
        return true;
    }
    std::string error;
    if (!readRig(args.file ? *args.file : rigPath(), rig, error)) {
        std::cerr << error << '\n';
        return false;
    }
    if (args.file && !rig) {
        // Asked for by name: a file that is not there is a mistake, not the
        // absence of a rig.
        std::cerr << "Error: cannot open rig file " << *args.file << '\n';
        return false;
    }
    if (rig) {
        if (const auto wrong = rigLimitsError(*rig, fileLimits)) {
            std::cerr << *wrong << '\n';
            rig.reset();
            return false;
        }
    }
    return true;
}

const char* const kSingleCoilOptionsHelp =
    "  --channels LIST    channels of the one coil instead of --channel, e.g.\n"
    "                     \"0, 3-4\" (0 is the first MIDI channel)\n"
    "  --voices N         keys the coil sounds at once, 1 to 16 (default: all)\n"
    "  --keep MODE        what a full coil keeps: highest, lowest or latest\n"
    "  --transpose N      semitones added to every key, -48 to 48\n";

bool takeSingleCoilOption(const std::string& arg, ArgCursor& cursor, SingleCoilArgs& coil)
{
    for (const char* key : {"channels", "voices", "keep", "transpose"}) {
        if (arg == std::string("--") + key) {
            coil.keys.emplace_back(key, cursor.valueOf(arg));
            return true;
        }
    }
    return false;
}

Coil singleCoil(const SingleCoilArgs& args, const PlaybackOptions& options)
{
    Coil coil = defaultRig(options).coils.front();
    for (const auto& [key, value] : args.keys) {
        if (const auto wrong = setCoilKey(coil, key, value)) {
            throw UsageError("--" + key + ": " + *wrong);
        }
    }
    return coil;
}

const char* const kSpeedOptionsHelp =
    "  --speed PERCENT    the song at PERCENT of its speed, 25 to 400 (instead of\n"
    "                     its song settings' speed; default 100)\n"
    "  --no-song-settings leave the song's settings file out\n";
const char* const kLoopOptionHelp =
    "  --loop FROM-TO     play from FROM to TO seconds (the lead-in counts, as for\n"
    "                     --from) again and again until stopped\n";

bool takeSongSettingsOption(const std::string& arg, ArgCursor& cursor, SongSettingsArgs& song, bool takesLoop)
{
    if (arg == "--no-song-settings") {
        song.ignore = true;
    } else if (arg == "--speed") {
        const auto speed = parseNumber<std::int32_t>(cursor.valueOf(arg));
        if (!speed || *speed < kSlowestSpeed || *speed > kFastestSpeed) {
            throw UsageError("--speed needs a whole percentage from 25 to 400");
        }
        song.speedPercent = speed;
    } else if (takesLoop && arg == "--loop") {
        LoopRegion loop;
        if (const auto wrong = parseLoopRegion(cursor.valueOf(arg), loop)) {
            throw UsageError("--" + *wrong);
        }
        song.loop = loop;
    } else {
        return false;
    }
    return true;
}

bool songSettingsOf(const std::string& fileName, const SongSettingsArgs& song, SongSettings& settings)
{
    settings = SongSettings{};
    if (song.ignore) {
        return true;
    }
    FoundSongSettings found;
    std::string error;
    if (!findSongSettings(fileName, found, error, true) && !found.path.empty()) {
        std::cerr << error << '\n';
        return false;
    }
    settings = found.settings;
    return true;
}
