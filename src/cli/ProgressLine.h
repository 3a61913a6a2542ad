#pragma once

#include <string>

// The progress bar that quillarc-cli play redraws on a terminal: a carriage
// return, a 40-column bar for `position` 0..127, the song's time reached and
// its length to the second (m:ss, from `elapsedMs` and `totalMs`), and
// whether the user paused it.
std::string progressLine(int position, bool paused, int elapsedMs, int totalMs);
