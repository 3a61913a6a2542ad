#include "live/LiveSession.h"

#include "midiout/ShortMessage.h"
#include "platform/WorkerThread.h"
#include "playback/AppState.h"
#include "playback/Clock.h"
#include "playback/RigOutputs.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// How often an input that does not tell of its going is looked at.
constexpr auto kWatchInterval = 1s;
// How often the options are looked at while the input's cycle forwards.
constexpr auto kOptionsInterval = 100ms;

}  // namespace

LiveSession::LiveSession(AppState& state, LiveObserver& observer, MidiInputService& inputs, int inputDevice,
                         int inputChannel)
    : m_state(state),
      m_observer(observer),
      m_inputs(inputs),
      m_inputDevice(inputDevice),
      m_rig(rigOf(state)),
      m_forwarder(m_rig.fromFile ? LiveForwarder(inputChannel, *m_rig.rig) : LiveForwarder(inputChannel))
{
}

LiveSession::RigChoice LiveSession::rigOf(const AppState& state)
{
    if (auto rig = state.rig()) {
        return {std::move(rig), true};
    }
    return {std::make_shared<const Rig>(defaultRig(*state.options())), false};
}

std::string LiveSession::lostText() const
{
    return m_rig.fromFile ? coilLostText(m_rig.rig->coils[m_lostCoil]) : std::string(kControllerLostText);
}

LiveSession::~LiveSession()
{
    finish();
}

LiveSession::Start LiveSession::start(int volume)
{
    m_outputs = std::make_unique<RigOutputs>(*m_rig.rig, *m_state.options(), m_rig.fromFile);
    if (auto failed = m_outputs->open(m_state.controllerPort.load(), m_state.controllerName())) {
        m_startError = std::move(*failed);
        m_outputs.reset();
        return Start::ControllerFailed;
    }
    if (!m_rig.fromFile) {
        m_state.controllerPort.store(m_outputs->port(0));
    }
    m_realtimeInput = m_inputs.realtime(m_inputDevice);
    bool volumeSent = false;
    {
        const std::lock_guard lock(m_mutex);
        CoilMessages out;
        m_forwarder.volume(volume, out);
        volumeSent = send(out);
    }
    // Not under the lock: finish takes it.
    if (!volumeSent) {
        m_startError = lostText();
        finish();
        return Start::ControllerFailed;
    }
    if (m_realtimeInput) {
        std::vector<int> targets;
        for (std::size_t coil = 0; coil < m_outputs->size(); ++coil) {
            targets.push_back(m_outputs->output(coil).cycleTarget());
        }
        if (std::none_of(targets.begin(), targets.end(), [](int target) { return target < 0; })) {
            m_cycle = std::make_unique<LiveCycle>(m_forwarder, std::move(targets), m_state.options());
        }
    }
    m_inputOpen = m_inputs.open(m_inputDevice, *this);
    if (!m_inputOpen) {
        finish();
        return Start::InputFailed;
    }
    return Start::Started;
}

LiveEnd LiveSession::run()
{
    // A realtime input's notes are forwarded on this worker unless its cycle
    // does it: at a realtime priority it is not kept from the next cycle by
    // ordinary threads.
    if (m_realtimeInput && !m_cycle) {
        raiseToRealtimePriority();
    }
    const bool watch = !m_inputs.tellsOfChanges(m_inputDevice);
    auto nextWatch = std::chrono::steady_clock::now() + kWatchInterval;
    std::vector<std::uint8_t> bytes;
    LiveEnd end = LiveEnd::Stopped;
    for (;;) {
        const std::uint64_t seen = m_changes.count();
        if (m_stop.load()) {
            break;
        }
        if (m_lost.load()) {
            end = LiveEnd::ControllerLost;
            break;
        }
        bool look = m_changed.exchange(false);
        if (watch && std::chrono::steady_clock::now() >= nextWatch) {
            nextWatch = std::chrono::steady_clock::now() + kWatchInterval;
            look = true;
        }
        if (look && !m_inputs.connected(m_inputDevice)) {
            end = LiveEnd::InputLost;
            break;
        }
        bytes.clear();
        m_queue.drain([&bytes](std::size_t length) {
            bytes.resize(bytes.size() + length);
            return bytes.data() + bytes.size() - length;
        });
        std::optional<std::chrono::steady_clock::time_point> deadline;
        {
            const std::lock_guard lock(m_mutex);
            if (look && !allConnected()) {
                end = LiveEnd::ControllerLost;
                break;
            }
            if (m_cycle) {
                if (!passAlongside()) {
                    end = LiveEnd::ControllerLost;
                    break;
                }
                deadline = std::chrono::steady_clock::now() + kOptionsInterval;
            } else {
                if (!pass(bytes, nowMs())) {
                    end = LiveEnd::ControllerLost;
                    break;
                }
                const std::uint32_t now = nowMs();
                if (const auto cut = m_forwarder.nextCutAt(now)) {
                    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(*cut - now);
                }
            }
        }
        if (watch && (!deadline || nextWatch < *deadline)) {
            deadline = nextWatch;
        }
        if (deadline) {
            (void)m_changes.waitUntil(seen, *deadline);
        } else {
            m_changes.wait(seen);
        }
    }
    finish();
    if (m_forwarder.limitCounts().any()) {
        m_observer.limitsActed(m_forwarder.limitCounts());
    }
    return end;
}

bool LiveSession::pass(const std::vector<std::uint8_t>& bytes, std::uint32_t now)
{
    CoilMessages out;
    if (const int volume = m_pendingVolume.exchange(-1); volume >= 0) {
        m_forwarder.volume(volume, out);
    }
    if (m_overflow.exchange(false)) {
        // Notes were lost on the way, note-offs perhaps among them.
        m_forwarder.silence(out);
    }
    m_forwarder.cutsDue(now, out);
    return send(out) && forward(bytes.data(), bytes.size(), now);
}

bool LiveSession::passAlongside()
{
    if (const int volume = m_pendingVolume.exchange(-1); volume >= 0 && !m_outputs->sendVolume(volume)) {
        m_lostCoil = m_outputs->lostCoil().value_or(0);
        return false;
    }
    m_cycle->offer(m_state.options());
    for (PlayedNote note; m_cycle->takePlayed(note);) {
        m_observer.notePlayed(note.key, note.duty);
    }
    if (const int refused = m_cycle->refused(); refused >= 0) {
        m_lostCoil = static_cast<std::size_t>(refused);
        return false;
    }
    return true;
}

void LiveSession::cycle(MidiInputCycle& cycle) noexcept
{
    if (!m_cycle) {
        MidiInputSink::cycle(cycle);
        return;
    }
    // The gate of the hand-over (handBack): marked inside first, then the
    // closing looked at, both sequentially consistent, so that either the
    // closing thread sees this cycle inside or this cycle sees it closing.
    m_inCycle.store(true);
    if (!m_cycleClosed.load() && m_cycle->run(cycle)) {
        m_changes.notify();
    }
    m_inCycle.store(false);
}

void LiveSession::handBack()
{
    // The input's close waits for its cycles to end, but gives up on one
    // stuck for a second: this gate makes sure no cycle is left in the
    // forwarder whatever happened there. The cycle never blocks, so the
    // wait is short.
    m_cycleClosed.store(true);
    while (m_inCycle.load()) {
        std::this_thread::sleep_for(100us);
    }
}

void LiveSession::stop()
{
    m_stop.store(true);
    m_changes.notify();
}

void LiveSession::setVolume(int value)
{
    m_pendingVolume.store(value);
    m_changes.notify();
}

void LiveSession::received(const std::uint8_t* bytes, std::size_t length) noexcept
{
    if (!m_realtimeInput) {
        const std::lock_guard lock(m_mutex);
        if (m_outputs && !m_lost.load() && !forward(bytes, length, nowMs())) {
            m_lost.store(true);
            m_changes.notify();
        }
        return;
    }
    for (std::size_t at = 0; at < length; at += 3) {
        if (!m_queue.push(bytes + at, std::min<std::size_t>(3, length - at))) {
            m_overflow.store(true);
        }
    }
    m_changes.notify();
}

void LiveSession::changed() noexcept
{
    m_changed.store(true);
    m_changes.notify();
}

bool LiveSession::forward(const std::uint8_t* bytes, std::size_t length, std::uint32_t now)
{
    if (length == 0) {
        return true;
    }
    CoilMessages out;
    m_forwarder.receive(bytes, length, *m_state.options(), now, out);
    if (!send(out)) {
        return false;
    }
    for (const CoilMessage& message : out) {
        if (message.bytes[0] == 0x90 && message.bytes[2] != 0) {
            m_observer.notePlayed(message.bytes[1], m_forwarder.duty(message.coil));
        }
    }
    return true;
}

bool LiveSession::send(const CoilMessages& out)
{
    for (const CoilMessage& message : out) {
        // The forwarder's all-sound-off is where the coil is to be silenced:
        // it goes out as the one silencing, which also releases every key
        // left sounding.
        const auto& [status, data1, data2] = message.bytes;
        const bool silencing = status == 0xB0 && data1 == kAllSoundOff;
        MidiOutput& output = m_outputs->output(message.coil);
        if ((silencing ? output.silence(0) : output.sendMessage(status, data1, data2)) != 0) {
            m_lostCoil = message.coil;
            return false;
        }
    }
    return true;
}

bool LiveSession::allConnected()
{
    for (std::size_t coil = 0; coil < m_outputs->size(); ++coil) {
        if (!m_outputs->output(coil).connected()) {
            m_lostCoil = coil;
            return false;
        }
    }
    return true;
}

void LiveSession::finish()
{
    // The input first: nothing arrives after the silence. Not under the
    // lock, which its thread may be waiting for.
    if (m_inputOpen) {
        m_inputs.close(m_inputDevice);
        m_inputOpen = false;
    }
    handBack();
    const std::lock_guard lock(m_mutex);
    if (m_outputs) {
        // With the input closed the callback has let go of the forwarder, and
        // what it wrote has left before anything sent from here: the keys it
        // left sounding are each coil's to release in its silencing.
        for (std::size_t coil = 0; m_cycle && coil < m_outputs->size(); ++coil) {
            const std::bitset<128>& keys = m_cycle->sounding(coil);
            for (std::size_t key = 0; key < keys.size(); ++key) {
                if (keys.test(key)) {
                    m_outputs->output(coil).followSent(0x90, static_cast<int>(key), 1);
                }
            }
        }
        // The forwarder forgets every key; each coil gets the one silencing,
        // a lost one too (a device that refused one message may still take
        // these), and closes.
        CoilMessages out;
        m_forwarder.silence(out);
        m_outputs->silenceAndClose();
        m_outputs.reset();
    }
}
