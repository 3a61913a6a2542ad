#pragma once

#include <string>
#include <cstdint>
#include <optional>
#include <string_view>

// The small plain-text settings files under the user's configuration folder
// (the coil limits, the rig): where they are and how they are read, one rule
// for all of them.

// $XDG_CONFIG_HOME/quillarc/FILENAME, or HOME/.config/quillarc/FILENAME when
// `xdgConfigHome` is null or empty. `home` falls back to the platform's
// settings folder when null or empty.
std::string settingsFilePath(std::string_view fileName, const char* xdgConfigHome, const char* home);
// The same, from the environment of the process.
std::string settingsFilePath(std::string_view fileName);

// `text` without the spaces, tabs and carriage returns around it: a key or a
// value as every settings file reads it.
std::string_view trimmedSetting(std::string_view text);

// A whole number from `lowest` to `highest` in `value`, the value of `key`,
// into `field`; else the reason, `field` then as it was: "bad number 'V'", or
// "KEY must be a whole number from L to H" (a number with a fraction is one
// out of range rather than a bad one, as in the limits file).
std::optional<std::string> takeWholeSetting(std::int32_t& field, std::string_view key, std::string_view value,
                                            std::int32_t lowest, std::int32_t highest);
std::optional<std::string> takeWholeSetting(std::optional<std::int32_t>& field, std::string_view key,
                                            std::string_view value, std::int32_t lowest, std::int32_t highest);

enum class SettingsRead {
    Read,     // `text` holds the file
    Missing,  // no file at all: the settings' defaults hold, and that is no error
    Failed,   // `error` says why
};

// Reads the settings file at `path` whole into `text`. `kind` names it in the
// messages ("coil limits file"): "Error: not a regular file PATH", "Error:
// cannot open KIND PATH", "Error: PATH: too large for a KIND". A settings
// file is a few lines; one above 64 KiB is refused before it is read.
SettingsRead readSettingsFile(const std::string& path, std::string_view kind, std::string& text, std::string& error);

// Replaces the settings file at `path` with `text` whole: written beside it
// and renamed over it, so that a reader never sees half of it; its folder is
// made when missing. Binary: the line ends as `text` has them. False with
// "Error: cannot write KIND PATH" when it cannot be written (a folder in its
// place included), the file then as it was.
bool writeSettingsFile(const std::string& path, std::string_view kind, std::string_view text, std::string& error);
