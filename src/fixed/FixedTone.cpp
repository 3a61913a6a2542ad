#include "fixed/FixedTone.h"

#include <cmath>
#include <cstdio>

int frequencyForKey(int key)
{
    // The semitone ratio is formed first and raised to the interval from A3;
    // the exact order matters for the rounding of the shown number.
    const double semitone = std::pow(2.0, 1.0 / 12.0);
    const double hertz = 220.0 * std::pow(semitone, key - 57);
    return static_cast<int>(hertz + 0.5);
}

double dutyCycleForPower(int power)
{
    return power * 6.75 / 127.0;
}

std::string fixedModeStatusText(int key, int power)
{
    char text[96];
    std::snprintf(text, sizeof text, "Frequency: %d Hz Duty Cycle: %2.1f", frequencyForKey(key),
                  dutyCycleForPower(power));
    return text;
}
