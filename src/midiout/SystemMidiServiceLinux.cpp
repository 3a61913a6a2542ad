#include "midiout/SystemMidiService.h"

#include "jack/JackMidiService.h"
#include "midiout/MidiServiceChain.h"
#include "midiout/RtMidiService.h"

#include <vector>

std::shared_ptr<MidiService> makeSystemMidiService()
{
    // ALSA first, then JACK.
    return std::make_shared<MidiServiceChain>(std::vector<std::shared_ptr<MidiService>>{
        std::make_shared<RtMidiService>(), std::make_shared<JackMidiService>()});
}
