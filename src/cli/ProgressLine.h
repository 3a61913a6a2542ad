#pragma once

#include <string>

// The progress bar that quillarc-cli play redraws on a terminal: a carriage
// return, a 40-column bar for `position` 0..127, the time reached and the
// song's length (m:ss, from `totalMs`), and whether the user paused it.
std::string progressLine(int position, bool paused, double totalMs);
