#pragma once

#include <string_view>

// Ends the process for a programming error: writes `line` and a newline to
// standard error, flushes, and exits with code 1 through std::exit, so static
// objects are still destroyed (the last MIDI output object resets and closes
// its devices on the way out). The one place where the core ends the process.
[[noreturn]] void fatalError(std::string_view line);
