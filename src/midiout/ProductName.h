#pragma once

#include <string>
#include <string_view>

// The product name of a MIDI port: the client name, which is the text before
// the first ':' ("Synth:in 128:0" on ALSA and "Synth:in" on JACK both give
// "Synth"); the whole text without a ':'.
inline std::string productNameOf(std::string_view portName)
{
    return std::string(portName.substr(0, portName.find(':')));
}
