#include "live/LiveNote.h"

#include "coilmodel/CoilModel.h"

#include <array>
#include <cstdio>

std::string keyName(int key)
{
    static constexpr std::array<const char*, 12> kNames{"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return std::string(kNames[static_cast<std::size_t>(key % 12)]) + std::to_string(key / 12 - 1);
}

std::string liveNoteText(int key, double duty)
{
    char text[96];
    std::snprintf(text, sizeof text, "Note: %s %d Hz  Duty: %.1f %%", keyName(key).c_str(),
                  static_cast<int>(keyFrequency(key) + 0.5), duty * 100.0);
    return text;
}
