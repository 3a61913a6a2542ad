#include "live/LiveNote.h"

#include "coilmodel/CoilModel.h"

#include <cstdio>

std::string liveNoteText(int key, double duty)
{
    char text[96];
    std::snprintf(text, sizeof text, "Note: %s %d Hz  Duty: %.1f %%", keyName(key).c_str(),
                  static_cast<int>(keyFrequency(key) + 0.5), duty * 100.0);
    return text;
}
