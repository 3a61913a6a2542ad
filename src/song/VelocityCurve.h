#pragma once

#include "song/PlaybackOptions.h"

#include <string>

// Reads up to 128 whitespace-separated decimal integers from `path` into
// options.velocityCurve (entry i for input velocity i), storing the low 8 bits
// of each. Reading stops at the first text that is not a number or at the end
// of the file: that entry and all later ones keep their values; numbers after
// the 128th are ignored. On success sets curveLoaded and curveFileName.
// A file that cannot be opened, anything but a regular file ("Error: not a
// regular file PATH", refused without waiting on a FIFO or a device) and a
// file without a single value ("Error: no velocity values in PATH") change
// nothing and return false with the message in `error`.
bool loadVelocityCurve(const std::string& path, PlaybackOptions& options, std::string& error);

// The velocity to send for an entry: the curve's entry taken as a signed
// 8-bit value when customCurve and curveLoaded are both set and the velocity
// is not 0; otherwise the velocity unchanged.
int curvedVelocity(int velocity, const PlaybackOptions& options);
