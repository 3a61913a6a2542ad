#include "app/AppContext.h"

#include "midiout/MidiOutput.h"

AppContext::AppContext() : m_fixedModeOutput(std::make_unique<MidiOutput>())
{
}

AppContext::~AppContext() = default;
