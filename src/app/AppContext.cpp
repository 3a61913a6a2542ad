#include "app/AppContext.h"

#include "coilmodel/CoilLimitsFile.h"
#include "midiout/MidiOutput.h"

AppContext::AppContext() : m_fixedModeOutput(std::make_unique<MidiOutput>())
{
    std::string error;
    if (!readCoilLimits(coilLimitsPath(), options.coilLimits, error)) {
        limitsFileError = error;
    }
    // Fixed mode reads the published record; the limits hold for it from the
    // start, before any Play or OK has published the options.
    state.setOptions(options);
}

AppContext::~AppContext() = default;

std::optional<std::string> AppContext::saveCoilLimits()
{
    std::string error;
    if (!writeCoilLimits(coilLimitsPath(), options.coilLimits, error)) {
        return error;
    }
    limitsFileError.reset();
    return std::nullopt;
}
