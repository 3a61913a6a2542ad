#include "app/AppContext.h"

#include "coilmodel/CoilLimitsFile.h"
#include "midiout/MidiOutput.h"
#include "rig/RigFile.h"

AppContext::AppContext() : m_fixedModeOutput(std::make_unique<MidiOutput>())
{
    reloadCoilLimits();
}

void AppContext::reloadRig()
{
    std::optional<Rig> rig;
    std::string error;
    if (!readRig(rigPath(), rig, error)) {
        rigFileError = error;
        return;
    }
    if (rig) {
        if (auto wrong = rigLimitsError(*rig, options.coilLimits)) {
            rigFileError = std::move(wrong);
            return;
        }
    }
    rigFileError.reset();
    state.setRig(std::move(rig));
}

bool AppContext::reloadCoilLimits()
{
    const CoilLimits before = options.coilLimits;
    std::string error;
    if (readCoilLimits(coilLimitsPath(), options.coilLimits, error)) {
        limitsFileError.reset();
    } else {
        limitsFileError = error;
    }
    // Fixed mode reads the published record: the limits hold for it as
    // soon as they are read.
    state.setOptions(options);
    // The rig's limits lie over these: read with them.
    reloadRig();
    return options.coilLimits != before;
}

AppContext::~AppContext() = default;

std::optional<std::string> AppContext::saveCoilLimits()
{
    std::string error;
    if (!writeCoilLimits(coilLimitsPath(), options.coilLimits, error)) {
        return error;
    }
    return std::nullopt;
}
