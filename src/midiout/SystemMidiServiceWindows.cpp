#include "midiout/SystemMidiService.h"

#include "midiout/WinMmService.h"

std::shared_ptr<MidiService> makeSystemMidiService()
{
    return std::make_shared<WinMmService>(systemWinMmCalls());
}
