#pragma once

#include "coilmodel/CoilModel.h"

#include <string>

// The line that shows a note played live: "Note: A3 220 Hz  Duty: 1.2 %",
// the frequency in whole hertz and the coil model's estimate of the duty
// (`duty` 0..1) in percent with one decimal.
std::string liveNoteText(int key, double duty);
