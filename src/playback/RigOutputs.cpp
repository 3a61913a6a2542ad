#include "playback/RigOutputs.h"

#include "midiout/Controller.h"
#include "midiout/ShortMessage.h"
#include "rig/CoilDevices.h"

#include <algorithm>

namespace {

// Every coil plays on the first channel of its own controller.
constexpr int kCoilChannel = 0;

std::string coilAndDevice(const Coil& coil)
{
    return "coil " + coil.name + " (" + coil.device + ')';
}

}  // namespace

std::string cannotOpenCoilText(const Coil& coil)
{
    return "Error: cannot open " + coilAndDevice(coil);
}

std::string coilLostText(const Coil& coil)
{
    return "Error: lost the connection to " + coilAndDevice(coil);
}

std::vector<std::string> outputDeviceNames()
{
    const auto service = MidiOutPort::service();
    std::vector<std::string> names;
    for (int index = 0; index < MidiOutPort::deviceCount(); ++index) {
        names.push_back(service->productName(index));
    }
    return names;
}

RigOutputs::RigOutputs(Rig rig, const PlaybackOptions& options, bool fromFile)
    : m_rig(std::move(rig)), m_fromFile(fromFile)
{
    for (const Coil& coil : m_rig.coils) {
        PlaybackOptions forCoil = coilOptions(coil, options);
        const CoilLimits limits = forCoil.coilLimits;
        m_coils.push_back({std::move(forCoil), CoilLimiter(limits), std::make_unique<MidiOutput>(), -1});
    }
}

RigOutputs::~RigOutputs()
{
    silenceAndClose();
}

std::vector<std::optional<std::int32_t>> RigOutputs::resolve() const
{
    return coilDevices(m_rig, outputDeviceNames());
}

std::optional<std::string> RigOutputs::open(int controllerPort, const std::string& controllerName)
{
    m_lost.reset();
    if (!m_fromFile) {
        CoilOutput& single = m_coils.front();
        single.port = openDevice(*single.output, controllerPort, controllerName);
        if (single.port < 0) {
            return std::string(kCannotOpenControllerText);
        }
        m_open = true;
        return std::nullopt;
    }
    std::vector<std::optional<std::int32_t>> devices = resolve();
    if (missingCoilError(m_rig, devices) && MidiOutPort::recount() > 0) {
        devices = resolve();
    }
    if (auto missing = missingCoilError(m_rig, devices)) {
        return missing;
    }
    for (std::size_t i = 0; i < m_coils.size(); ++i) {
        CoilOutput& coil = m_coils[i];
        coil.output->selectPort(*devices[i]);
        if (coil.output->openPort() != 1) {
            closeAll();
            return cannotOpenCoilText(m_rig.coils[i]);
        }
        coil.port = *devices[i];
    }
    m_open = true;
    return std::nullopt;
}

int RigOutputs::leadMs(std::size_t index) const
{
    return std::max(m_coils[index].output->scheduleLeadMs(), 0);
}

bool RigOutputs::keep(std::size_t index, int result)
{
    if (result != 0 && !m_lost) {
        m_lost = index;
    }
    return result == 0;
}

bool RigOutputs::sendVolume(int sliderValue)
{
    bool allSent = true;
    for (std::size_t i = 0; i < m_coils.size() && allSent; ++i) {
        allSent = sendControl(i, kChannelVolume, coilChannelVolume(m_rig.coils[i], sliderValue));
    }
    return allSent;
}

bool RigOutputs::sendControl(std::size_t index, int controller, int value)
{
    CoilOutput& coil = m_coils[index];
    coil.limiter.controlChange(controller);
    return keep(index, coil.output->sendControlChange(kCoilChannel, controller, value));
}

RigOutputs::Sent RigOutputs::sendNote(std::size_t index, int key, int velocity, std::uint32_t at)
{
    CoilOutput& coil = m_coils[index];
    const std::optional<int> sent = coil.limiter.noteOn(key, velocity, at);
    if (!sent) {
        return Sent::Limited;
    }
    const bool timed = leadMs(index) > 0;
    const int result = timed ? coil.output->sendNoteOnAt(kCoilChannel, key, *sent, at)
                             : coil.output->sendNoteOn(kCoilChannel, key, *sent);
    return keep(index, result) ? Sent::Handed : Sent::Refused;
}

int RigOutputs::takeBack(std::size_t index)
{
    return m_coils[index].output->takeBack();
}

bool RigOutputs::silence(std::size_t index)
{
    CoilOutput& coil = m_coils[index];
    coil.limiter.silenced();
    return keep(index, coil.output->silence(kCoilChannel));
}

bool RigOutputs::silenceAll()
{
    bool allTaken = true;
    for (std::size_t i = 0; i < m_coils.size(); ++i) {
        allTaken = silence(i) && allTaken;
    }
    return allTaken;
}

void RigOutputs::silenceAndClose()
{
    if (!m_open) {
        return;
    }
    // Tried on a lost coil too: a device that refused one message may still
    // take these.
    for (std::size_t i = 0; i < m_coils.size(); ++i) {
        (void)takeBack(i);
        (void)silence(i);
    }
    closeAll();
}

void RigOutputs::closeAll()
{
    for (CoilOutput& coil : m_coils) {
        if (coil.output->isOpen() == 1) {
            coil.output->closePort();
        }
    }
    m_open = false;
}

std::string RigOutputs::lostText() const
{
    if (!m_lost) {
        return {};
    }
    return m_fromFile ? coilLostText(m_rig.coils[*m_lost]) : std::string(kControllerLostText);
}

CoilLimitCounts RigOutputs::limitCounts() const
{
    CoilLimitCounts total;
    for (const CoilOutput& coil : m_coils) {
        total.softened += coil.limiter.counts().softened;
        total.dropped += coil.limiter.counts().dropped;
        total.cut += coil.limiter.counts().cut;
    }
    return total;
}
