#pragma once

#include "rig/Rig.h"

#include <optional>
#include <string>
#include <string_view>

// The rig file: `[coil NAME]` sections of `key = value` lines that a person
// can edit. Keys: device, channels (required; "0, 3-4"), voices, keep,
// transpose, shift_low_notes (on or off), lower_limit, volume_percent, and
// the four keys of the limits file. A line starting with `#` is a comment; so
// is the rest of a value from a `#`, except in device and in a section line,
// where "NAME #N" is part of the name. The one reader of it for every
// program; every mistake is an error naming the file and line.

// $XDG_CONFIG_HOME/quillarc/rig.conf, or HOME/.config/quillarc/rig.conf when
// `xdgConfigHome` is null or empty (the same rules as the limits file).
std::string rigPath(const char* xdgConfigHome, const char* home);
// The same, from the environment of the process.
std::string rigPath();

// Parses the text of a rig file named `path` (used in the messages and kept
// in rig.source). On an error returns false with "Error: PATH:LINE: REASON"
// in `error` and leaves `rig` as it was.
bool parseRig(std::string_view text, const std::string& path, Rig& rig, std::string& error);

// Sets `key` of `coil` from its text as a line of a coil section does; the
// reason when the key is unknown or its value wrong ("voices must be a whole
// number from 1 to 16"), with `coil` then as it was.
std::optional<std::string> setCoilKey(Coil& coil, std::string_view key, std::string_view value);

// Reads the rig file at `path` into `rig`. A missing file means no rig file
// (`rig` empty) and is no error; anything else that cannot be read, or
// parsed, returns false with the message in `error` and leaves `rig` as it was.
bool readRig(const std::string& path, std::optional<Rig>& rig, std::string& error);
