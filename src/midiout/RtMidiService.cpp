#include "midiout/RtMidiService.h"

#include "midiout/ProductName.h"
#include "midiout/ShortMessage.h"

#include <alsa/asoundlib.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace {

void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA writes its own diagnostics to stderr unless told otherwise; the
// setting is process-wide and set once.
void silenceAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(silentAlsaError); });
}

bool alsaSequencerUsable()
{
    return ::access("/dev/snd/seq", R_OK | W_OK) == 0;
}

// One RtMidiOut with its errors captured instead of thrown or printed.
struct RtOut {
    std::atomic<bool> failed{false};
    std::unique_ptr<RtMidiOut> out;
    // The port this object is connected to, when ALSA is to be asked now and
    // then whether it is still there: a message sent to a port whose client
    // has gone (a cable pulled, a device that came back under a new number)
    // is dropped without an error.
    std::string watchedPort;
    std::chrono::steady_clock::time_point watchedAt{};
    bool gone = false;

    static void onError(RtMidiError::Type type, const std::string&, void* self)
    {
        if (type != RtMidiError::DEBUG_WARNING) {
            static_cast<RtOut*>(self)->failed.store(true);
        }
    }

    // Empty `out` when RtMidi could not set up the API.
    RtOut(RtMidi::Api api, const std::string& clientName)
    {
        try {
            out = std::make_unique<RtMidiOut>(api, clientName);
            out->setErrorCallback(&RtOut::onError, this);
        } catch (...) {
            out.reset();
        }
    }

    ~RtOut()
    {
        try {
            out.reset();
        } catch (...) {
        }
    }

    RtOut(const RtOut&) = delete;
    RtOut& operator=(const RtOut&) = delete;

    std::vector<std::string> portNames()
    {
        std::vector<std::string> names;
        try {
            const unsigned int count = out->getPortCount();
            for (unsigned int index = 0; index < count; ++index) {
                names.push_back(out->getPortName(index));
            }
        } catch (...) {
        }
        return names;
    }
};

struct Device {
    RtMidi::Api api;
    std::string portName;  // RtMidi's full name, found again when opening
    std::string product;
};

}  // namespace

struct RtMidiService::Impl {
    std::string clientName;
    std::mutex mutex;
    std::vector<Device> devices;
    std::vector<std::unique_ptr<RtOut>> open;  // by device index; null when closed

    // JACK is left out: JackMidiService serves it.
    static std::vector<RtMidi::Api> usableApis()
    {
        std::vector<RtMidi::Api> compiled;
        RtMidi::getCompiledApi(compiled);
        std::vector<RtMidi::Api> usable;
        for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::MACOSX_CORE, RtMidi::WINDOWS_MM}) {
            bool isCompiled = false;
            for (const RtMidi::Api candidate : compiled) {
                isCompiled = isCompiled || candidate == api;
            }
            if (isCompiled && (api != RtMidi::LINUX_ALSA || alsaSequencerUsable())) {
                usable.push_back(api);
            }
        }
        return usable;
    }

    RtOut* openEntry(int device)
    {
        if (device < 0 || device >= static_cast<int>(open.size())) {
            return nullptr;
        }
        return open[static_cast<std::size_t>(device)].get();
    }

    // Looks whether the watched port is still listed, at most every 250 ms
    // (listing the ports takes a round trip to the sequencer per port).
    static bool stillThere(RtOut& out)
    {
        using namespace std::chrono_literals;
        if (out.gone || out.watchedPort.empty()) {
            return !out.gone;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - out.watchedAt < 250ms) {
            return true;
        }
        out.watchedAt = now;
        const std::vector<std::string> names = out.portNames();
        out.gone = std::find(names.begin(), names.end(), out.watchedPort) == names.end();
        return !out.gone;
    }

    static int sendTo(RtOut& out, const std::uint8_t* bytes, std::size_t length)
    {
        if (!stillThere(out)) {
            return kSendDeviceGone;
        }
        out.failed.store(false);
        try {
            out.out->sendMessage(bytes, length);
        } catch (...) {
            return kSendDriverError;
        }
        return out.failed.load() ? kSendDriverError : 0;
    }
};

RtMidiService::RtMidiService(std::string clientName) : m_impl(std::make_unique<Impl>())
{
    silenceAlsa();
    m_impl->clientName = std::move(clientName);
}

RtMidiService::~RtMidiService()
{
    const std::lock_guard lock(m_impl->mutex);
    m_impl->open.clear();
}

int RtMidiService::deviceCount()
{
    const std::lock_guard lock(m_impl->mutex);
    std::vector<Device> devices;
    for (const RtMidi::Api api : Impl::usableApis()) {
        RtOut probe(api, m_impl->clientName);
        if (!probe.out) {
            continue;
        }
        for (std::string& name : probe.portNames()) {
            std::string product = productNameOf(name);
            devices.push_back(Device{api, std::move(name), std::move(product)});
        }
    }
    m_impl->devices = std::move(devices);
    if (m_impl->open.size() < m_impl->devices.size()) {
        m_impl->open.resize(m_impl->devices.size());
    }
    return static_cast<int>(m_impl->devices.size());
}

std::string RtMidiService::productName(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    if (device < 0 || device >= static_cast<int>(m_impl->devices.size())) {
        return std::string();
    }
    return m_impl->devices[static_cast<std::size_t>(device)].product;
}

bool RtMidiService::open(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    if (device < 0 || device >= static_cast<int>(m_impl->devices.size()) || m_impl->openEntry(device)) {
        return false;
    }
    const Device& target = m_impl->devices[static_cast<std::size_t>(device)];
    auto entry = std::make_unique<RtOut>(target.api, m_impl->clientName);
    if (!entry->out) {
        return false;
    }
    // Ports may have come and gone since the count: find ours by name.
    const std::vector<std::string> names = entry->portNames();
    unsigned int index = 0;
    while (index < names.size() && names[index] != target.portName) {
        ++index;
    }
    if (index == names.size()) {
        return false;
    }
    try {
        entry->out->openPort(index, m_impl->clientName);
    } catch (...) {
        return false;
    }
    if (entry->failed.load() || !entry->out->isPortOpen()) {
        return false;
    }
    if (target.api == RtMidi::LINUX_ALSA) {
        entry->watchedPort = target.portName;
        entry->watchedAt = std::chrono::steady_clock::now();
    }
    m_impl->open[static_cast<std::size_t>(device)] = std::move(entry);
    return true;
}

void RtMidiService::close(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    if (m_impl->openEntry(device)) {
        m_impl->open[static_cast<std::size_t>(device)].reset();
    }
}

void RtMidiService::reset(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    RtOut* entry = m_impl->openEntry(device);
    if (!entry) {
        return;
    }
    for (const auto& message : resetMessages()) {
        Impl::sendTo(*entry, message.data(), 3);
    }
}

int RtMidiService::send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::lock_guard lock(m_impl->mutex);
    RtOut* entry = m_impl->openEntry(device);
    if (!entry) {
        return kSendDeviceNotOpen;
    }
    const std::uint8_t bytes[3] = {status, data1, data2};
    return Impl::sendTo(*entry, bytes, shortMessageLength(status));
}
