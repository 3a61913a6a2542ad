#pragma once

#include <cstddef>
#include <string>

// The progress bar that quillarc-cli play redraws on a terminal: a carriage
// return, a 40-column bar for `position` 0..127, the song's time reached and
// its length to the second (m:ss, from `elapsedMs` and `totalMs`), and
// whether the user paused it.
std::string progressLine(int position, bool paused, int elapsedMs, int totalMs);

// A line of text where a bar `barWidth` columns wide (0: none drawn) is on
// the terminal: from the start of the bar's line, spaces over the rest of the
// bar, then a newline; the bar is drawn again under it.
std::string lineOverProgress(const std::string& line, std::size_t barWidth);
