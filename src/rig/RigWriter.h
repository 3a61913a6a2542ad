#pragma once

#include "rig/Rig.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The writer of the rig file, the other half of RigFile.h: what parseRig
// reads back is exactly the coils written, and what the user wrote by hand
// (comments, blank lines, the order of keys and coils, a value's own
// spelling) is kept wherever its coil and key are kept.

// A coil as the user left it, and which coil of the file it was made from
// (its index in the rig read from the file), nothing for a new one.
struct EditedCoil {
    Coil coil;
    std::optional<std::size_t> from;
};

// The value of `key` (a key of the rig file) as the file writes it; nothing
// when the coil leaves it to its default (no voices, keep highest, no
// transpose, the whole volume, a shift, lower limit or limit left to the
// Options and coil-limits.conf). The device and the channels always have one.
std::optional<std::string> coilKeyText(const Coil& coil, std::string_view key);

// The text of a rig file holding `coils` in their order, made from `text`,
// the file as it is now, which parsed to `before` (empty text and an empty
// rig without a file). The lines before the first coil stay. A coil made
// from one of the file keeps its section's lines: a key whose value is the
// same stays as written, a changed one gets the new value where it stands
// (the rest of its line kept), one set back to its default is turned into a
// comment, and one newly set is added after the section's last key. A coil
// left out loses its section; a new one gets a section at the end.
std::string rigFileWith(std::string_view text, const Rig& before, const std::vector<EditedCoil>& coils);

// Replaces the rig file at `path` with `text`, only when `text` parses as a
// rig whose key ranges hold over `fileLimits` (coil-limits.conf's): else
// false with that error, naming `path` and the line of `text`, and the file
// untouched. False with "Error: cannot write rig file PATH" when writing fails.
bool writeRig(const std::string& path, const std::string& text, const CoilLimits& fileLimits, std::string& error);
