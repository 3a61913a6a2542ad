#include "midiout/SystemMidiService.h"

#include "jack/JackMidiService.h"
#include "midiout/MidiServiceChain.h"
#include "midiout/RtMidiService.h"

#include <vector>

std::shared_ptr<MidiService> makeSystemMidiService()
{
    // ALSA first, then JACK, on the client the inputs use too.
    return std::make_shared<MidiServiceChain>(std::vector<std::shared_ptr<MidiService>>{
        std::make_shared<RtMidiService>(), JackMidiService::processClient()});
}
