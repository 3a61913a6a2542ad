#include "midiout/RtMidiService.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// How long open waits for a JACK connection to take effect.
constexpr auto kConnectDeadline = std::chrono::seconds(1);
// RtMidi hands JACK messages to its process callback through a buffer of its
// own and, when that buffer is full, waits for room without a limit: if the
// server died, forever. So no more than this many bytes go to one device
// between two process cycles (far below that buffer's size and far above what
// MIDI needs), and a server that runs no cycle for kStallDeadline counts as
// gone for that message.
constexpr std::size_t kJackBytesPerCycle = 1024;
constexpr std::size_t kJackBytesPerMessageOverhead = 8;
constexpr auto kStallDeadline = std::chrono::milliseconds(100);

void silentJackMessage(const char*) {}

void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA and JACK write their own diagnostics to stderr unless told otherwise;
// both settings are process-wide and set once.
void silenceLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(silentJackMessage);
        jack_set_info_function(silentJackMessage);
        snd_lib_error_set_handler(silentAlsaError);
    });
}

bool alsaSequencerUsable()
{
    return ::access("/dev/snd/seq", R_OK | W_OK) == 0;
}

// One RtMidiOut with its errors captured instead of thrown or printed.
struct RtOut {
    std::atomic<bool> failed{false};
    std::unique_ptr<RtMidiOut> out;

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

struct OpenDevice {
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::unique_ptr<RtOut> rt;
    jack_port_t* jackPort = nullptr;  // our output port, seen through the monitor client
    bool gone = false;                // stays set until the device is closed
    std::uint64_t cycle = 0;          // the process cycle of the bytes counted below
    std::size_t bytesThisCycle = 0;
};

}  // namespace

struct RtMidiService::Impl {
    std::string clientName;
    std::mutex mutex;
    std::vector<Device> devices;
    std::vector<std::unique_ptr<OpenDevice>> open;  // by device index; null when closed
    unsigned int openSerial = 0;

    // A port-less JACK client that watches the connections of our output
    // ports; present while a JACK server is reachable.
    jack_client_t* monitor = nullptr;
    std::atomic<bool> jackServerGone{false};
    std::atomic<std::uint64_t> jackCycles{0};  // process cycles the monitor has seen

    static void onJackShutdown(void* self)
    {
        static_cast<Impl*>(self)->jackServerGone.store(true);
    }

    static int onJackProcess(jack_nframes_t, void* self)
    {
        static_cast<Impl*>(self)->jackCycles.fetch_add(1, std::memory_order_release);
        return 0;
    }

    void closeMonitor()
    {
        if (monitor) {
            jack_client_close(monitor);
            monitor = nullptr;
        }
    }

    // True when a JACK server answers; never starts one.
    bool connectJack()
    {
        if (monitor && jackServerGone.load()) {
            closeMonitor();
        }
        if (!monitor) {
            jackServerGone.store(false);
            jack_status_t status{};
            monitor = jack_client_open((clientName + " monitor").c_str(), JackNoStartServer, &status);
            if (monitor) {
                jack_on_shutdown(monitor, &Impl::onJackShutdown, this);
                jack_set_process_callback(monitor, &Impl::onJackProcess, this);
                if (jack_activate(monitor) != 0) {
                    closeMonitor();
                }
            }
        }
        return monitor != nullptr;
    }

    std::vector<RtMidi::Api> usableApis()
    {
        std::vector<RtMidi::Api> compiled;
        RtMidi::getCompiledApi(compiled);
        std::vector<RtMidi::Api> usable;
        for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
            bool isCompiled = false;
            for (const RtMidi::Api candidate : compiled) {
                isCompiled = isCompiled || candidate == api;
            }
            if (!isCompiled) {
                continue;
            }
            if ((api == RtMidi::LINUX_ALSA && alsaSequencerUsable()) || (api == RtMidi::UNIX_JACK && connectJack())) {
                usable.push_back(api);
            }
        }
        return usable;
    }

    // Waits until our freshly opened JACK port is connected to `target`. The
    // connection counts once the server's current graph holds it: from then on
    // a message written by RtMidi reaches the device.
    bool waitForJackConnection(OpenDevice& entry, const std::string& target, const std::string& ourShortName)
    {
        if (!monitor) {
            return false;
        }
        const std::string suffix = ":" + ourShortName;
        const auto deadline = std::chrono::steady_clock::now() + kConnectDeadline;
        for (;;) {
            jack_port_t* targetPort = jack_port_by_name(monitor, target.c_str());
            if (targetPort) {
                if (const char** connections = jack_port_get_all_connections(monitor, targetPort)) {
                    for (const char** name = connections; *name; ++name) {
                        const std::string_view connected(*name);
                        if (connected.size() > suffix.size() && connected.ends_with(suffix)) {
                            entry.jackPort = jack_port_by_name(monitor, *name);
                        }
                    }
                    jack_free(static_cast<void*>(connections));
                }
            }
            if (entry.jackPort) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline || jackServerGone.load()) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Waits until the JACK process cycle after the last send has run, so that
    // RtMidi has handed every message to the server before its port goes:
    // the all-sound-off sent just before a close must not be lost. Gives up
    // when the server runs no cycle in time.
    void drainForJack(const OpenDevice& entry)
    {
        if (entry.api != RtMidi::UNIX_JACK || entry.gone || entry.bytesThisCycle == 0) {
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + kStallDeadline;
        while (jackCycles.load(std::memory_order_acquire) < entry.cycle + 2) {
            if (std::chrono::steady_clock::now() >= deadline || jackServerGone.load()) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    OpenDevice* openEntry(int device)
    {
        if (device < 0 || device >= static_cast<int>(open.size())) {
            return nullptr;
        }
        return open[static_cast<std::size_t>(device)].get();
    }

    // Keeps the bytes handed to RtMidi per process cycle within
    // kJackBytesPerCycle, waiting for the next cycle when needed; false when
    // the server runs no cycle in time.
    bool makeRoomForJack(OpenDevice& entry, std::size_t length)
    {
        const std::size_t cost = length + kJackBytesPerMessageOverhead;
        std::uint64_t cycle = jackCycles.load(std::memory_order_acquire);
        if (cycle == entry.cycle && entry.bytesThisCycle + cost > kJackBytesPerCycle) {
            const auto deadline = std::chrono::steady_clock::now() + kStallDeadline;
            while ((cycle = jackCycles.load(std::memory_order_acquire)) == entry.cycle) {
                if (std::chrono::steady_clock::now() >= deadline || jackServerGone.load()) {
                    return false;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        }
        if (cycle != entry.cycle) {
            entry.cycle = cycle;
            entry.bytesThisCycle = 0;
        }
        entry.bytesThisCycle += cost;
        return true;
    }

    int sendLocked(OpenDevice& entry, const std::uint8_t* bytes, std::size_t length)
    {
        if (entry.api == RtMidi::UNIX_JACK) {
            // RtMidi cannot tell that its JACK connection went away: look at
            // the port's connection in the server's graph.
            if (!entry.gone && (jackServerGone.load() || jack_port_connected(entry.jackPort) <= 0)) {
                entry.gone = true;
            }
            if (entry.gone || !makeRoomForJack(entry, length)) {
                return kSendDeviceGone;
            }
        }
        entry.rt->failed.store(false);
        try {
            entry.rt->out->sendMessage(bytes, length);
        } catch (...) {
            return kSendDriverError;
        }
        return entry.rt->failed.load() ? kSendDriverError : 0;
    }
};

RtMidiService::RtMidiService(std::string clientName) : m_impl(std::make_unique<Impl>())
{
    silenceLibraries();
    m_impl->clientName = std::move(clientName);
}

RtMidiService::~RtMidiService()
{
    const std::lock_guard lock(m_impl->mutex);
    m_impl->open.clear();
    m_impl->closeMonitor();
}

int RtMidiService::deviceCount()
{
    const std::lock_guard lock(m_impl->mutex);
    std::vector<Device> devices;
    for (const RtMidi::Api api : m_impl->usableApis()) {
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
    auto entry = std::make_unique<OpenDevice>();
    entry->api = target.api;
    entry->rt = std::make_unique<RtOut>(target.api, m_impl->clientName);
    if (!entry->rt->out) {
        return false;
    }
    // Ports may have come and gone since the count: find ours by name.
    const std::vector<std::string> names = entry->rt->portNames();
    unsigned int index = 0;
    while (index < names.size() && names[index] != target.portName) {
        ++index;
    }
    if (index == names.size()) {
        return false;
    }
    // A name of our own for the port, unique across processes, by which the
    // JACK connection is recognised.
    const std::string ourShortName =
        "out " + std::to_string(::getpid()) + "." + std::to_string(++m_impl->openSerial);
    try {
        entry->rt->out->openPort(index, ourShortName);
    } catch (...) {
        return false;
    }
    if (entry->rt->failed.load() || !entry->rt->out->isPortOpen()) {
        return false;
    }
    if (target.api == RtMidi::UNIX_JACK && !m_impl->waitForJackConnection(*entry, target.portName, ourShortName)) {
        return false;
    }
    m_impl->open[static_cast<std::size_t>(device)] = std::move(entry);
    return true;
}

void RtMidiService::close(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    if (OpenDevice* entry = m_impl->openEntry(device)) {
        m_impl->drainForJack(*entry);
        m_impl->open[static_cast<std::size_t>(device)].reset();
    }
}

void RtMidiService::reset(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    OpenDevice* entry = m_impl->openEntry(device);
    if (!entry) {
        return;
    }
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const std::uint8_t status = static_cast<std::uint8_t>(0xB0 | channel);
        for (const std::uint8_t controller : {64, 120, 123}) {
            const std::uint8_t bytes[3] = {status, controller, 0};
            m_impl->sendLocked(*entry, bytes, 3);
        }
    }
}

int RtMidiService::send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::lock_guard lock(m_impl->mutex);
    OpenDevice* entry = m_impl->openEntry(device);
    if (!entry) {
        return kSendDeviceNotOpen;
    }
    const std::uint8_t bytes[3] = {status, data1, data2};
    return m_impl->sendLocked(*entry, bytes, messageLength(status));
}

std::string RtMidiService::productNameOf(std::string_view portName)
{
    return std::string(portName.substr(0, portName.find(':')));
}

std::size_t RtMidiService::messageLength(std::uint8_t status)
{
    if (status < 0x80) {
        return 3;  // not a status byte: passed on as given
    }
    if (status < 0xF0) {
        const int kind = status >> 4;
        return kind == 0xC || kind == 0xD ? 2 : 3;
    }
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    default:
        return 1;
    }
}
