#include "midiout/SystemMidiService.h"

#ifdef _WIN32
#include "midiout/WinMmService.h"
#else
#include "midiout/JackMidiService.h"
#include "midiout/MidiServiceChain.h"
#include "midiout/RtMidiService.h"
#endif

#include <vector>

std::shared_ptr<MidiService> makeSystemMidiService()
{
#ifdef _WIN32
    return std::make_shared<WinMmService>(systemWinMmCalls());
#else
    // ALSA first, then JACK.
    return std::make_shared<MidiServiceChain>(std::vector<std::shared_ptr<MidiService>>{
        std::make_shared<RtMidiService>(), std::make_shared<JackMidiService>()});
#endif
}
