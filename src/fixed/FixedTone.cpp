#include "fixed/FixedTone.h"

#include "coilmodel/CoilModel.h"

#include <cstdio>

int frequencyForKey(int key)
{
    return static_cast<int>(keyFrequency(key) + 0.5);
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

std::string fixedModeStatusText(int key, int power, int velocity)
{
    if (velocity >= kFixedFullVelocity) {
        return fixedModeStatusText(key, power);
    }
    char text[128];
    std::snprintf(text, sizeof text, "Frequency: %d Hz Duty Cycle: %2.1f (coil limits: velocity %d)", frequencyForKey(key),
                  dutyCycleForPower(power) * velocity / 127.0, velocity);
    return text;
}
