#pragma once

#include "coilmodel/CoilLimits.h"

#include <optional>
#include <string>
#include <string_view>

// The limits file: plain `key = value` lines that a person can edit, with
// the keys duty_limit_percent, max_note_ms, lowest_key and highest_key; `#`
// starts a comment, blank lines are allowed, and a key left out is off. The
// one reader and writer of it for every program.

// Where the limits file is: $XDG_CONFIG_HOME/quillarc/coil-limits.conf, or
// HOME/.config/quillarc/coil-limits.conf when `xdgConfigHome` is null or
// empty. `home` falls back to the password database when null or empty.
std::string coilLimitsPath(const char* xdgConfigHome, const char* home);
// The same, from the environment of the process.
std::string coilLimitsPath();

// Why one value cannot be taken: either it is no number at all (`text` then
// is "bad number 'VALUE'") or it is one out of its range (`text` then reads
// after the name of the limit: "must be above 0 and at most 100").
struct CoilLimitValueError {
    bool badNumber = false;
    std::string text;
};

// Takes `value` for the limit named `key` (one of the four keys above) into
// `limits`: a percent above 0 and at most 100, fractions allowed; a whole
// number of milliseconds above 0; a key from 0 to 127. `limits` is left as
// it was on an error.
std::optional<CoilLimitValueError> setCoilLimit(CoilLimits& limits, std::string_view key, std::string_view value);

// The value of the limit named `key` as the file writes it, nothing when it
// is off: a percent is the shortest text that reads back to the same double.
std::optional<std::string> coilLimitText(const CoilLimits& limits, std::string_view key);

// Whether `key` names one of the four limits (setCoilLimit takes only these).
bool isCoilLimitKey(std::string_view key);

// "lowest_key 70 is above highest_key 60" when both keys are set the wrong
// way round; nothing otherwise.
std::optional<std::string> coilKeyRangeError(const CoilLimits& limits);

// Parses the text of a limits file named `path` (used in the messages only).
// On an error returns false with "Error: PATH:LINE: REASON" in `error` and
// leaves `limits` as it was; a duplicate key is an error, since one of the
// two values would be dropped without a word.
bool parseCoilLimits(std::string_view text, const std::string& path, CoilLimits& limits, std::string& error);

// Reads the file at `path` into `limits`. A missing file means no limits and
// is no error; anything else that cannot be read, or parsed, returns false
// with the message in `error` and leaves `limits` as it was.
bool readCoilLimits(const std::string& path, CoilLimits& limits, std::string& error);

// The text of a limits file, `text` (which parses), with its limits set to
// `limits` and everything else the user wrote kept, in its order: comments,
// blank lines, line ends, and the line of a limit whose value is unchanged.
// A changed value is replaced where it stands (the rest of its line kept), a
// limit switched off has its line turned into a comment, and one switched on
// that has no line gets one at the end. An empty text gets a short header
// comment first. Reading the result gives `limits`.
std::string coilLimitsFileWith(std::string_view text, const CoilLimits& limits);

// Added to the message of a limits file that is not written over.
inline constexpr const char* kLimitsFileKeptText = " (the file is kept as it is)";

// Sets the limits of the file at `path` to `limits` (coilLimitsFileWith on
// what the file says now; a missing file is made, with its folder). The
// file is replaced whole (written beside it, then renamed), so a reader
// never sees half of it. A file that cannot be read or parsed is not written
// over: false with its message and " (the file is kept as it is)" in
// `error`. False with "Error: cannot write coil limits file PATH" when
// writing fails (a folder in its place included).
bool writeCoilLimits(const std::string& path, const CoilLimits& limits, std::string& error);
