#include "jack/JackMidiInput.h"

#include "jack/ProcessCycles.h"
#include "midiout/ProductName.h"

#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// Input devices open at the same time.
constexpr std::size_t kSlots = 4;
// How long an open waits for the connection to carry messages, and a close
// for a cycle to leave the port.
constexpr auto kConnectDeadline = 1s;
constexpr auto kLeaveDeadline = 1s;

// What the process callback reads: a port of ours and where its events go.
struct InPort {
    jack_port_t* port;
    MidiInputSink* sink;
};

// One input port's events of the cycle, and the client's output ports.
class InputCycle final : public MidiInputCycle {
public:
    InputCycle(void* buffer, JackCycle& ports)
        : MidiInputCycle(ports.startMicros, ports.frames, ports.rate),
          m_buffer(buffer),
          m_count(jack_midi_get_event_count(buffer)),
          m_ports(ports)
    {
    }

    std::size_t eventCount() const noexcept override { return m_count; }
    Event event(std::size_t index) const noexcept override
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, m_buffer, static_cast<std::uint32_t>(index)) != 0) {
            return {nullptr, 0, 0};
        }
        return {event.buffer, event.size, event.time};
    }
    bool write(int target, const std::uint8_t* bytes, std::size_t length, std::uint32_t frame) noexcept override
    {
        return m_ports.write(target, bytes, length, frame);
    }

private:
    void* m_buffer;
    std::size_t m_count;
    JackCycle& m_ports;
};

struct OpenInput {
    std::unique_ptr<InPort> in;
    std::size_t slot = 0;
    std::string source;
    bool clientGone = false;  // the port went with the client
};

}  // namespace

// Everything but the atomics is touched only inside the service's withClient
// (or its clientClosing), under its lock.
struct JackMidiInput::Impl final : JackClientUser {
    std::shared_ptr<JackMidiService> service;
    std::vector<std::string> devices;  // full port names, as of the latest count
    std::vector<std::unique_ptr<OpenInput>> open;
    unsigned int portSerial = 0;
    std::array<std::atomic<InPort*>, kSlots> live{};
    // The sinks that JACK's notification thread tells of changes, guarded
    // apart from the service's lock (which that thread must never wait for:
    // the server waits for it while the lock's holder talks to the server).
    std::mutex sinksMutex;
    std::array<MidiInputSink*, kSlots> sinks{};

    void process(JackCycle& ports) noexcept override
    {
        for (std::atomic<InPort*>& slot : live) {
            InPort* in = slot.load();
            if (in == nullptr) {
                continue;
            }
            InputCycle cycle(jack_port_get_buffer(in->port, ports.frames), ports);
            in->sink->cycle(cycle);
        }
    }

    void clientClosing() noexcept override
    {
        // The ports go with the client; the sinks hear that their device went.
        for (std::unique_ptr<OpenInput>& entry : open) {
            if (entry) {
                live[entry->slot].store(nullptr);
                entry->clientGone = true;
                entry->in->sink->changed();
            }
        }
    }

    void graphChanged() noexcept override
    {
        const std::lock_guard lock(sinksMutex);
        for (MidiInputSink* sink : sinks) {
            if (sink != nullptr) {
                sink->changed();
            }
        }
    }

    void tell(std::size_t slot, MidiInputSink* sink)
    {
        const std::lock_guard lock(sinksMutex);
        sinks[slot] = sink;
    }

    OpenInput* entryOf(int device)
    {
        if (device < 0 || device >= static_cast<int>(open.size())) {
            return nullptr;
        }
        return open[static_cast<std::size_t>(device)].get();
    }

    // Takes the port away from the callback, then gives it up.
    void retire(jack_client_t* client, OpenInput& entry)
    {
        tell(entry.slot, nullptr);
        live[entry.slot].store(nullptr);
        if (!service->cycles().waitUntilOutside(std::chrono::steady_clock::now() + kLeaveDeadline)) {
            (void)entry.in.release();  // a cycle is stuck holding it
            return;
        }
        if (client != nullptr && !entry.clientGone) {
            jack_port_unregister(client, entry.in->port);
        }
        entry.in.reset();
    }
};

JackMidiInput::JackMidiInput(std::shared_ptr<JackMidiService> client) : m_impl(std::make_unique<Impl>())
{
    m_impl->service = std::move(client);
    m_impl->service->setUser(m_impl.get());
}

JackMidiInput::~JackMidiInput()
{
    for (int device = 0; device < static_cast<int>(m_impl->open.size()); ++device) {
        close(device);
    }
    m_impl->service->setUser(nullptr);
}

int JackMidiInput::deviceCount()
{
    std::vector<std::string> devices;
    const bool answered = m_impl->service->withClient(false, [&](jack_client_t* client) {
        const std::string ours = std::string(jack_get_client_name(client)) + ":";
        if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
            for (const char** name = ports; *name; ++name) {
                if (!std::string_view(*name).starts_with(ours)) {
                    devices.emplace_back(*name);
                }
            }
            jack_free(static_cast<void*>(ports));
        }
        m_impl->devices = devices;
        if (m_impl->open.size() < devices.size()) {
            m_impl->open.resize(devices.size());
        }
    });
    return answered ? static_cast<int>(devices.size()) : 0;
}

std::string JackMidiInput::productName(int device)
{
    std::string name;
    m_impl->service->withClient(false, [&](jack_client_t*) {
        if (device >= 0 && device < static_cast<int>(m_impl->devices.size())) {
            name = productNameOf(m_impl->devices[static_cast<std::size_t>(device)]);
        }
    });
    return name;
}

bool JackMidiInput::open(int device, MidiInputSink& sink)
{
    Impl& impl = *m_impl;
    bool opened = false;
    impl.service->withClient(true, [&](jack_client_t* client) {
        if (device < 0 || device >= static_cast<int>(impl.devices.size()) || impl.entryOf(device)) {
            return;
        }
        std::size_t slot = 0;
        const auto taken = [&impl](std::size_t candidate) {
            return std::any_of(impl.open.begin(), impl.open.end(),
                               [candidate](const auto& entry) { return entry && entry->slot == candidate; });
        };
        while (slot < kSlots && taken(slot)) {
            ++slot;
        }
        if (slot == kSlots) {
            return;
        }
        const std::string portName = "in " + std::to_string(++impl.portSerial);
        jack_port_t* port = jack_port_register(client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (!port) {
            return;
        }
        auto entry = std::make_unique<OpenInput>();
        entry->in = std::make_unique<InPort>(InPort{port, &sink});
        entry->slot = slot;
        entry->source = impl.devices[static_cast<std::size_t>(device)];
        impl.live[slot].store(entry->in.get());
        // As for outputs: a cycle that starts after the connection is made
        // uses it, so the one running now and one more are waited for.
        const ProcessCycles& cycles = impl.service->cycles();
        const std::atomic<bool> never{false};
        if (jack_connect(client, entry->source.c_str(), jack_port_name(port)) != 0 ||
            !cycles.waitForCompleted(cycles.completed() + 2, std::chrono::steady_clock::now() + kConnectDeadline,
                                     never)) {
            impl.retire(client, *entry);
            return;
        }
        impl.tell(slot, &sink);
        impl.open[static_cast<std::size_t>(device)] = std::move(entry);
        opened = true;
    });
    return opened;
}

void JackMidiInput::close(int device)
{
    Impl& impl = *m_impl;
    const auto closeEntry = [&](jack_client_t* client) {
        if (OpenInput* entry = impl.entryOf(device)) {
            impl.retire(client, *entry);
            impl.open[static_cast<std::size_t>(device)].reset();
        }
    };
    if (!impl.service->withClient(false, closeEntry)) {
        // No server: the client and its ports have gone already.
        closeEntry(nullptr);
    }
}

bool JackMidiInput::connected(int device)
{
    bool connected = false;
    m_impl->service->withClient(false, [&](jack_client_t*) {
        const OpenInput* entry = m_impl->entryOf(device);
        connected = entry && entry->in && !entry->clientGone && jack_port_connected(entry->in->port) > 0;
    });
    return connected;
}
