#include "app/AppContext.h"

#include "coilmodel/CoilLimitsFile.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "rig/RigFile.h"

AppContext::AppContext()
    : m_lookup([this] {
          m_fixedModeOutput = std::make_unique<MidiOutput>();
          m_deviceCount = MidiOutput::deviceCount();
          m_controllerAtStart = m_deviceCount > 0 ? findController() : -1;
      })
{
    reloadCoilLimits();
}

void AppContext::awaitDevices()
{
    if (m_lookup.joinable()) {
        m_lookup.join();
    }
}

int AppContext::deviceCount()
{
    awaitDevices();
    return m_deviceCount;
}

int AppContext::controllerAtStart()
{
    awaitDevices();
    return m_controllerAtStart;
}

MidiOutput& AppContext::fixedModeOutput()
{
    awaitDevices();
    return *m_fixedModeOutput;
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

AppContext::~AppContext()
{
    // The output object the look-up builds goes with the context.
    awaitDevices();
}

std::optional<std::string> AppContext::saveCoilLimits()
{
    std::string error;
    if (!writeCoilLimits(coilLimitsPath(), options.coilLimits, error)) {
        return error;
    }
    return std::nullopt;
}
