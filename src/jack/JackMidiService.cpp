#include "jack/JackMidiService.h"

#include "jack/CycleStart.h"
#include "jack/JackClientClose.h"
#include "jack/JackMidiQueue.h"
#include "jack/JackScheduleQueue.h"
#include "jack/ProcessCycles.h"
#include "midiout/ProductName.h"
#include "midiout/ShortMessage.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Open devices at the same time; the process callback looks at every slot.
constexpr std::size_t kSlots = 32;
// Messages queued per device: far more than one cycle of MIDI carries.
constexpr std::size_t kQueueMessages = 4096;
// Waits for cycles last a few of the server's periods (cycleWaitLimit) and a
// margin. A server that runs no cycle for that long is taken as gone by the
// send or close waiting for it; a connection may take longer to be made than
// a cycle to run.
constexpr std::chrono::microseconds kStallMargin = 100ms;
constexpr std::chrono::microseconds kConnectMargin = 1s;
// A server that does not let the client go within this margin of its periods
// is going away as it is asked, and will not answer: the client is left.
constexpr std::chrono::microseconds kCloseMargin = 1s;
// How long a close waits for a running cycle to leave before it gives the
// port up for lost rather than free what the cycle may still read.
constexpr auto kLeaveDeadline = 1s;
constexpr auto kPollInterval = 100us;
// How far ahead of its due time a timed message is handed over, beyond one
// period: the sending thread's wake-up may be late by this much and the
// message still reaches the cycle it falls due in. The sending thread runs
// at normal priority, and on a busy machine wakes late by more than 10 ms now
// and then; what is handed ahead costs nothing (a transport press takes it
// back exactly).
constexpr int kScheduleMarginMs = 20;

void silentJackMessage(const char*) {}

std::uint64_t steadyMicros(Clock::time_point at)
{
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch());
    return static_cast<std::uint64_t>(micros.count());
}

// JACK writes its own diagnostics to stderr unless told otherwise; the setting
// is process-wide.
void silenceJack()
{
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(silentJackMessage);
        jack_set_info_function(silentJackMessage);
    });
}

// What the process callback reads: an output port, its queue of messages to
// send at once and its queue of messages handed ahead of their time.
struct OutPort {
    explicit OutPort(jack_port_t* jackPort) : port(jackPort), queue(kQueueMessages), scheduled(kQueueMessages) {}
    bool valid() const { return queue.valid() && scheduled.valid(); }
    bool empty() const { return queue.empty() && scheduled.empty(); }
    jack_port_t* port;
    JackMidiQueue queue;
    JackScheduleQueue scheduled;
};

// Writes the timed messages of one cycle into a port's buffer, each at the
// frame of its due time (steady clock microseconds) counted from the time the
// callback began, never before the frame of the message before it (JACK
// keeps a buffer's events in time order).
struct CycleSink {
    void* buffer;
    std::uint64_t cycleStart;
    jack_nframes_t frames;
    std::uint32_t rate;
    jack_nframes_t lastFrame = 0;

    std::optional<std::uint32_t> frameOf(std::uint64_t due) const
    {
        return frameInCycle(due, cycleStart, frames, rate);
    }
    bool room(std::size_t length) const { return jack_midi_max_event_size(buffer) >= length; }
    std::uint8_t* reserve(std::size_t length, std::uint32_t frame)
    {
        lastFrame = frame > lastFrame ? frame : lastFrame;
        return jack_midi_event_reserve(buffer, lastFrame, length);
    }
};

// The ports of one cycle, by slot, for the client's user to write into after
// their queues: each message at its frame, never before the port's last one.
struct PortsOfCycle final : JackCycle {
    using JackCycle::JackCycle;

    bool write(int target, const std::uint8_t* bytes, std::size_t length, jack_nframes_t frame) noexcept override
    {
        if (target < 0 || static_cast<std::size_t>(target) >= kSlots || frame >= frames) {
            return false;
        }
        const auto slot = static_cast<std::size_t>(target);
        if (buffers[slot] == nullptr) {
            return false;
        }
        lastFrames[slot] = std::max(frame, lastFrames[slot]);
        std::uint8_t* place = jack_midi_event_reserve(buffers[slot], lastFrames[slot], length);
        if (place == nullptr) {
            return false;
        }
        std::memcpy(place, bytes, length);
        return true;
    }

    std::array<void*, kSlots> buffers{};
    std::array<jack_nframes_t, kSlots> lastFrames{};
};

struct OpenDevice {
    std::unique_ptr<OutPort> out;
    std::size_t slot = 0;
    std::string target;  // the device's full port name
    bool gone = false;   // stays set until the device is closed
};

}  // namespace

struct JackMidiService::Impl {
    std::string clientName = "Quillarc Control Panel";
    std::mutex mutex;  // guards everything below but the atomics
    jack_client_t* client = nullptr;
    bool active = false;
    std::vector<std::string> devices;                 // full port names, as of the latest count
    std::vector<std::unique_ptr<OpenDevice>> open;    // by device index; null when closed
    std::array<bool, kSlots> slotTaken{};
    unsigned int portSerial = 0;
    // The cycle count when a wait for the server's cycles ran out. A server
    // that runs no cycles may not answer requests either, and would block the
    // caller for ever: until it runs a cycle again it is asked nothing that
    // it must answer (a port's registration or unregistration).
    std::optional<std::uint64_t> stalledAt;

    // Shared with the process callback and the server's shutdown notice.
    std::atomic<bool> serverGone{false};
    std::atomic<std::uint32_t> periodFrames{0};
    std::atomic<std::uint32_t> sampleRate{0};
    ProcessCycles cycles;
    CycleStart cycleStart;    // the process callback's alone
    bool heldQueues = false;  // the callback's alone: the last cycle left the queues
    std::array<std::atomic<OutPort*>, kSlots> live{};
    std::atomic<JackClientUser*> user{nullptr};
    // Held by JACK's notification thread while it tells the user, so that
    // setUser can take the user away from it; never by the process callback.
    std::mutex userMutex;

    static int process(jack_nframes_t frames, void* self)
    {
        // The one reading of the clock in a cycle, first, so that nothing
        // here delays it: the wake-up, from which CycleStart tells when the
        // cycle's first frame was due; timed messages are placed from there.
        // The steady clock is CLOCK_MONOTONIC, which Linux reads in the vDSO
        // without a system call; it neither blocks nor allocates.
        const auto wake = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
        Impl& impl = *static_cast<Impl*>(self);
        impl.cycles.enterCycle();
        const std::uint32_t rate = impl.sampleRate.load(std::memory_order_relaxed);
        const std::uint64_t cycleStart =
            impl.cycleStart.next(static_cast<std::uint64_t>(wake.count()), frames, rate) / 1000;
        // The first cycle after the server missed some (a stall) is often
        // not handed on to the ports' readers: the server catching up drops
        // it, and every message written into it would be lost, a note-off
        // among them. So the queues wait for the next cycle, where what fell
        // due meanwhile goes at its first frame, one period later than it
        // would have; a plain sender, starved in the same stall, hands its
        // messages over that late or later. Never two cycles in a row, so a
        // server that keeps missing cycles delays nothing by more than one.
        const bool holdQueues = impl.cycleStart.followsGap() && !impl.heldQueues;
        impl.heldQueues = holdQueues;
        PortsOfCycle ports(cycleStart, frames, rate);
        for (std::size_t index = 0; index < kSlots; ++index) {
            OutPort* out = impl.live[index].load();
            if (out == nullptr) {
                continue;
            }
            // An output port's buffer keeps its events until cleared. Messages
            // sent at once go out at the start of this cycle, then those
            // handed ahead that fall due in it, each at its own frame.
            void* buffer = jack_port_get_buffer(out->port, frames);
            jack_midi_clear_buffer(buffer);
            CycleSink sink{buffer, cycleStart, frames, rate};
            if (!holdQueues) {
                out->queue.drain([buffer](std::size_t length) { return jack_midi_event_reserve(buffer, 0, length); });
                out->scheduled.drain(sink);
            }
            ports.buffers[index] = buffer;
            ports.lastFrames[index] = sink.lastFrame;
        }
        if (JackClientUser* user = impl.user.load()) {
            user->process(ports);
        }
        impl.cycles.leaveCycle();
        return 0;
    }

    static void onShutdown(jack_status_t, const char*, void* self)
    {
        static_cast<Impl*>(self)->serverGone.store(true);
        onGraphChange(self);
    }

    static void onConnect(jack_port_id_t, jack_port_id_t, int, void* self) { onGraphChange(self); }

    static void onGraphChange(void* self)
    {
        Impl& impl = *static_cast<Impl*>(self);
        const std::lock_guard lock(impl.userMutex);
        if (JackClientUser* hooked = impl.user.load()) {
            hooked->graphChanged();
        }
    }

    // The server may change its period while we run; the waits follow it.
    static int onBufferSize(jack_nframes_t frames, void* self)
    {
        static_cast<Impl*>(self)->periodFrames.store(frames);
        return 0;
    }

    static int onSampleRate(jack_nframes_t rate, void* self)
    {
        static_cast<Impl*>(self)->sampleRate.store(rate);
        return 0;
    }

    // The longest wait for the next few cycles, plus `margin`.
    Clock::time_point cyclesDeadline(std::chrono::microseconds margin) const
    {
        return Clock::now() + cycleWaitLimit(periodFrames.load(), sampleRate.load(), margin);
    }

    // True when a client is open on a server that answers; never starts one.
    bool connect()
    {
        if (client && serverGone.load()) {
            // A client left behind runs no more cycles: its server has gone.
            (void)closeClient();
        }
        if (client) {
            return true;
        }
        serverGone.store(false);
        stalledAt.reset();
        jack_status_t status{};
        client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
        if (!client) {
            return false;
        }
        jack_on_info_shutdown(client, &Impl::onShutdown, this);
        periodFrames.store(jack_get_buffer_size(client));
        sampleRate.store(jack_get_sample_rate(client));
        if (jack_set_process_callback(client, &Impl::process, this) != 0 ||
            jack_set_buffer_size_callback(client, &Impl::onBufferSize, this) != 0 ||
            jack_set_sample_rate_callback(client, &Impl::onSampleRate, this) != 0 ||
            jack_set_port_connect_callback(client, &Impl::onConnect, this) != 0) {
            closeClient();
            return false;
        }
        return true;
    }

    bool activate()
    {
        if (!active && jack_activate(client) == 0) {
            active = true;
        }
        return active;
    }

    // Stops the process callback for good, then lets everything go. Closing
    // also stops the callback of a client whose server died, and takes its
    // ports with it. False when the server did not let the client go in
    // time: the client is left to the process's exit, and since its callback
    // may still run, so is what the callback reads here (cycles, live).
    bool closeClient()
    {
        if (JackClientUser* hooked = user.load()) {
            hooked->clientClosing();
        }
        const bool closed = closeJackClient(client, active && !serverGone.load(),
                                            cycleWaitLimit(periodFrames.load(), sampleRate.load(), kCloseMargin));
        for (std::atomic<OutPort*>& slot : live) {
            slot.store(nullptr);
        }
        if (!closed && !cycles.waitUntilOutside(Clock::now() + kLeaveDeadline)) {
            // A cycle is stuck holding a port: leaking them is the safe choice.
            for (std::unique_ptr<OpenDevice>& entry : open) {
                if (entry) {
                    (void)entry->out.release();
                }
            }
        }
        client = nullptr;
        active = false;
        open.clear();
        slotTaken.fill(false);
        return closed;
    }

    void noteStall() { stalledAt = cycles.completed(); }
    bool stalled() const { return stalledAt && *stalledAt == cycles.completed(); }

    OpenDevice* openEntry(int device)
    {
        if (device < 0 || device >= static_cast<int>(open.size())) {
            return nullptr;
        }
        return open[static_cast<std::size_t>(device)].get();
    }

    // Waits until the callback has taken every queued message and the cycle
    // after that one has run: the messages have then passed through the
    // graph. Gives up when the server stalls or goes.
    void drain(const OpenDevice& entry)
    {
        const auto deadline = cyclesDeadline(kStallMargin);
        while (!entry.out->empty()) {
            if (serverGone.load() || Clock::now() >= deadline) {
                noteStall();
                return;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
        // The cycle that took the last message has completed by the next
        // count at the latest; one more is the cycle after it.
        if (!cycles.waitForCompleted(cycles.completed() + 2, cyclesDeadline(kStallMargin), serverGone)) {
            noteStall();
        }
    }

    // Takes the port away from the callback, then unregisters and frees it.
    void retire(OpenDevice& entry)
    {
        live[entry.slot].store(nullptr);
        slotTaken[entry.slot] = false;
        if (!cycles.waitUntilOutside(Clock::now() + kLeaveDeadline)) {
            // A cycle is stuck holding the port: leaking it is the safe choice.
            (void)entry.out.release();
            return;
        }
        if (!serverGone.load() && !stalled()) {
            jack_port_unregister(client, entry.out->port);
        }
        entry.out.reset();
    }

    // Sends at once, or at `due` (steady clock microseconds) when given.
    int sendLocked(OpenDevice& entry, const std::uint8_t* bytes, std::size_t length,
                   std::optional<std::uint64_t> due = std::nullopt)
    {
        if (!entry.gone && (serverGone.load() || jack_port_connected(entry.out->port) <= 0)) {
            entry.gone = true;
        }
        if (entry.gone) {
            return kSendDeviceGone;
        }
        const auto push = [&] {
            return due ? entry.out->scheduled.push(bytes, length, *due) : entry.out->queue.push(bytes, length);
        };
        const auto deadline = cyclesDeadline(kStallMargin);
        while (!push()) {
            // Full: the callback makes room within a cycle unless the server
            // has stalled; once it has, every send need not wait as long.
            if (serverGone.load() || stalled() || Clock::now() >= deadline) {
                noteStall();
                return kSendDeviceGone;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
        return 0;
    }
};

JackMidiService::JackMidiService(OneClient) : m_impl(std::make_unique<Impl>())
{
    silenceJack();
}

JackMidiService::~JackMidiService()
{
    const std::lock_guard lock(m_impl->mutex);
    if (m_impl->client && !m_impl->closeClient()) {
        // The client was left running: its callback may still read m_impl.
        (void)m_impl.release();
    }
}

int JackMidiService::deviceCount()
{
    const std::lock_guard lock(m_impl->mutex);
    std::vector<std::string> devices;
    if (m_impl->connect()) {
        const std::string ours = std::string(jack_get_client_name(m_impl->client)) + ":";
        if (const char** ports = jack_get_ports(m_impl->client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
            for (const char** name = ports; *name; ++name) {
                if (!std::string_view(*name).starts_with(ours)) {
                    devices.emplace_back(*name);
                }
            }
            jack_free(static_cast<void*>(ports));
        }
    }
    m_impl->devices = std::move(devices);
    if (m_impl->open.size() < m_impl->devices.size()) {
        m_impl->open.resize(m_impl->devices.size());
    }
    return static_cast<int>(m_impl->devices.size());
}

std::string JackMidiService::productName(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    if (device < 0 || device >= static_cast<int>(m_impl->devices.size())) {
        return std::string();
    }
    return productNameOf(m_impl->devices[static_cast<std::size_t>(device)]);
}

bool JackMidiService::open(int device)
{
    Impl& impl = *m_impl;
    const std::lock_guard lock(impl.mutex);
    if (device < 0 || device >= static_cast<int>(impl.devices.size()) || impl.openEntry(device) || !impl.client ||
        impl.serverGone.load() || impl.stalled() || !impl.activate()) {
        return false;
    }
    std::size_t slot = 0;
    while (slot < kSlots && impl.slotTaken[slot]) {
        ++slot;
    }
    if (slot == kSlots) {
        return false;
    }
    const std::string portName = "out " + std::to_string(++impl.portSerial);
    jack_port_t* port =
        jack_port_register(impl.client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!port) {
        return false;
    }
    auto entry = std::make_unique<OpenDevice>();
    entry->out = std::make_unique<OutPort>(port);
    entry->slot = slot;
    entry->target = impl.devices[static_cast<std::size_t>(device)];
    if (!entry->out->valid()) {
        jack_port_unregister(impl.client, port);
        return false;
    }
    impl.slotTaken[slot] = true;
    impl.live[slot].store(entry->out.get());
    // The connection is in the graph when jack_connect returns, and a cycle
    // that starts after that uses it: the cycle running now may not, so open
    // waits until it and one more have completed.
    bool connected = jack_connect(impl.client, jack_port_name(port), entry->target.c_str()) == 0;
    if (connected && !impl.cycles.waitForCompleted(impl.cycles.completed() + 2, impl.cyclesDeadline(kConnectMargin),
                                                   impl.serverGone)) {
        impl.noteStall();
        connected = false;
    }
    if (!connected || jack_port_connected_to(port, entry->target.c_str()) == 0) {
        impl.retire(*entry);
        return false;
    }
    impl.open[static_cast<std::size_t>(device)] = std::move(entry);
    return true;
}

void JackMidiService::close(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    if (OpenDevice* entry = m_impl->openEntry(device)) {
        if (!entry->gone) {
            m_impl->drain(*entry);
        }
        m_impl->retire(*entry);
        m_impl->open[static_cast<std::size_t>(device)].reset();
    }
}

void JackMidiService::reset(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    OpenDevice* entry = m_impl->openEntry(device);
    if (!entry) {
        return;
    }
    for (const auto& message : resetMessages()) {
        m_impl->sendLocked(*entry, message.data(), 3);
    }
}

int JackMidiService::send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::lock_guard lock(m_impl->mutex);
    OpenDevice* entry = m_impl->openEntry(device);
    if (!entry) {
        return kSendDeviceNotOpen;
    }
    const std::uint8_t bytes[3] = {status, data1, data2};
    return m_impl->sendLocked(*entry, bytes, shortMessageLength(status));
}

int JackMidiService::scheduleLeadMs(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    const std::uint64_t rate = m_impl->sampleRate.load();
    if (!m_impl->openEntry(device) || rate == 0) {
        return 0;
    }
    const std::uint64_t periodMs = (std::uint64_t{m_impl->periodFrames.load()} * 1000 + rate - 1) / rate;
    return static_cast<int>(periodMs) + kScheduleMarginMs;
}

int JackMidiService::sendAt(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                            std::uint32_t dueMs)
{
    const std::lock_guard lock(m_impl->mutex);
    OpenDevice* entry = m_impl->openEntry(device);
    if (!entry) {
        return kSendDeviceNotOpen;
    }
    // The steady clock's millisecond `dueMs` nearest now, in the callback's
    // microseconds; one already past goes now.
    const auto now = Clock::now();
    const auto nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const auto ahead = std::chrono::milliseconds(static_cast<std::int32_t>(dueMs - static_cast<std::uint32_t>(nowMs.count())));
    const std::uint8_t bytes[3] = {status, data1, data2};
    return m_impl->sendLocked(*entry, bytes, shortMessageLength(status),
                              steadyMicros(std::max(now, Clock::time_point(nowMs + ahead))));
}

int JackMidiService::takeBack(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    OpenDevice* entry = m_impl->openEntry(device);
    return entry ? static_cast<int>(entry->out->scheduled.takeBack()) : 0;
}

bool JackMidiService::connected(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    OpenDevice* entry = m_impl->openEntry(device);
    return entry && !entry->gone && !m_impl->serverGone.load() && jack_port_connected(entry->out->port) > 0;
}

int JackMidiService::cycleTarget(int device)
{
    const std::lock_guard lock(m_impl->mutex);
    const OpenDevice* entry = m_impl->openEntry(device);
    return entry && entry->out ? static_cast<int>(entry->slot) : -1;
}

std::shared_ptr<JackMidiService> JackMidiService::processClient()
{
    static const auto client = std::make_shared<JackMidiService>(OneClient{});
    return client;
}

bool JackMidiService::withClient(bool activate, const std::function<void(jack_client_t*)>& work)
{
    const std::lock_guard lock(m_impl->mutex);
    if (!m_impl->connect() || m_impl->serverGone.load() || m_impl->stalled() || (activate && !m_impl->activate())) {
        return false;
    }
    work(m_impl->client);
    return true;
}

void JackMidiService::setUser(JackClientUser* user)
{
    {
        const std::lock_guard lock(m_impl->userMutex);
        m_impl->user.store(user);
    }
    (void)m_impl->cycles.waitUntilOutside(Clock::now() + kLeaveDeadline);
}

const ProcessCycles& JackMidiService::cycles() const
{
    return m_impl->cycles;
}
