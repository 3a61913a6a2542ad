#include "midiin/MidiInputService.h"

#include "jack/JackMidiInput.h"
#include "midiin/RtMidiInputService.h"

std::vector<std::unique_ptr<MidiInputService>> systemInputServices()
{
    std::vector<std::unique_ptr<MidiInputService>> services;
    services.push_back(std::make_unique<RtMidiInputService>());
    services.push_back(std::make_unique<JackMidiInput>(JackMidiService::processClient()));
    return services;
}
