#include "midiin/RtMidiInputService.h"

#include "midiout/ProductName.h"

#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct Device {
    RtMidi::Api api;
    std::string portName;
};

void ignoreError(RtMidiError::Type, const std::string&, void*) {}

std::unique_ptr<RtMidiIn> makeInput(RtMidi::Api api, const std::string& clientName)
{
    try {
        auto in = std::make_unique<RtMidiIn>(api, clientName);
        in->setErrorCallback(&ignoreError, nullptr);
        return in;
    } catch (...) {
        return nullptr;
    }
}

std::vector<std::string> portNames(RtMidiIn& in)
{
    std::vector<std::string> names;
    try {
        const unsigned int count = in.getPortCount();
        for (unsigned int index = 0; index < count; ++index) {
            names.push_back(in.getPortName(index));
        }
    } catch (...) {
    }
    return names;
}

std::vector<RtMidi::Api> usableApis()
{
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    std::vector<RtMidi::Api> usable;
    for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::MACOSX_CORE, RtMidi::WINDOWS_MM}) {
        const bool isCompiled = std::find(compiled.begin(), compiled.end(), api) != compiled.end();
        if (isCompiled && (api != RtMidi::LINUX_ALSA || ::access("/dev/snd/seq", R_OK | W_OK) == 0)) {
            usable.push_back(api);
        }
    }
    return usable;
}

void deliver(double, std::vector<unsigned char>* message, void* sink)
{
    if (message != nullptr && !message->empty()) {
        static_cast<MidiInputSink*>(sink)->received(message->data(), message->size());
    }
}

}  // namespace

struct RtMidiInputService::Impl {
    std::string clientName;
    std::mutex mutex;
    std::vector<Device> devices;
    std::vector<std::unique_ptr<RtMidiIn>> open;  // by device index
};

RtMidiInputService::RtMidiInputService(std::string clientName) : m_impl(std::make_unique<Impl>())
{
    m_impl->clientName = std::move(clientName);
}

RtMidiInputService::~RtMidiInputService() = default;

int RtMidiInputService::deviceCount()
{
    const std::lock_guard lock(m_impl->mutex);
    std::vector<Device> devices;
    for (const RtMidi::Api api : usableApis()) {
        if (const auto probe = makeInput(api, m_impl->clientName)) {
            for (std::string& name : portNames(*probe)) {
                devices.push_back(Device{api, std::move(name)});
            }
        }
    }
    m_impl->devices = std::move(devices);
    if (m_impl->open.size() < m_impl->devices.size()) {
        m_impl->open.resize(m_impl->devices.size());
    }
    return static_cast<int>(m_impl->devices.size());
}

std::string RtMidiInputService::productName(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    if (device < 0 || device >= static_cast<int>(m_impl->devices.size())) {
        return std::string();
    }
    return productNameOf(m_impl->devices[static_cast<std::size_t>(device)].portName);
}

bool RtMidiInputService::open(int device, MidiInputSink& sink)
{
    const std::lock_guard lock(m_impl->mutex);
    if (device < 0 || device >= static_cast<int>(m_impl->devices.size()) ||
        m_impl->open[static_cast<std::size_t>(device)]) {
        return false;
    }
    const Device& target = m_impl->devices[static_cast<std::size_t>(device)];
    auto in = makeInput(target.api, m_impl->clientName);
    if (!in) {
        return false;
    }
    // Ports may have come and gone since the count: find ours by name.
    const std::vector<std::string> names = portNames(*in);
    const auto found = std::find(names.begin(), names.end(), target.portName);
    if (found == names.end()) {
        return false;
    }
    try {
        in->ignoreTypes(true, true, true);
        in->setCallback(&deliver, &sink);
        in->openPort(static_cast<unsigned int>(found - names.begin()), m_impl->clientName);
    } catch (...) {
        return false;
    }
    if (!in->isPortOpen()) {
        return false;
    }
    m_impl->open[static_cast<std::size_t>(device)] = std::move(in);
    return true;
}

void RtMidiInputService::close(int device)
{
    std::unique_ptr<RtMidiIn> closing;
    {
        const std::lock_guard lock(m_impl->mutex);
        if (device >= 0 && device < static_cast<int>(m_impl->open.size())) {
            closing = std::move(m_impl->open[static_cast<std::size_t>(device)]);
        }
    }
    // Closing joins RtMidi's input thread, which may be delivering.
    try {
        closing.reset();
    } catch (...) {
    }
}

bool RtMidiInputService::connected(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    if (device < 0 || device >= static_cast<int>(m_impl->open.size()) || !m_impl->open[static_cast<std::size_t>(device)]) {
        return false;
    }
    const std::vector<std::string> names = portNames(*m_impl->open[static_cast<std::size_t>(device)]);
    return std::find(names.begin(), names.end(), m_impl->devices[static_cast<std::size_t>(device)].portName) !=
           names.end();
}
