#pragma once

#include <string>

// The name of `key` with its octave, key 60 being "C4" ("C#4" for 61).
std::string keyName(int key);

// The line that shows a note played live: "Note: A3 220 Hz  Duty: 1.2 %",
// the frequency in whole hertz and the coil model's estimate of the duty
// (`duty` 0..1) in percent with one decimal.
std::string liveNoteText(int key, double duty);
