#include "midiin/MidiInputService.h"

// On Windows there is no input service yet: no input devices.
std::vector<std::unique_ptr<MidiInputService>> systemInputServices()
{
    return {};
}
