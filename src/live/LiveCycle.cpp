#include "live/LiveCycle.h"

#include "midiout/ShortMessage.h"

#include <algorithm>

namespace {

// The most messages one input message or one cut time makes on a coil: a
// pedal released over every key, with a stolen voice and a note-on.
constexpr std::size_t kMessagesPerCoil = 128 + 8;

std::uint32_t msOf(std::uint64_t micros)
{
    return static_cast<std::uint32_t>(micros / 1000);
}

// The frame of `ms` (nowMs()'s clock) in `cycle`: 0 when already past, the
// last frame at most.
std::uint32_t frameOfMs(const MidiInputCycle& cycle, std::uint32_t ms)
{
    const auto sinceStartMs = static_cast<std::int32_t>(ms - msOf(cycle.startMicros));
    const std::int64_t micros = std::int64_t{sinceStartMs} * 1000 - static_cast<std::int64_t>(cycle.startMicros % 1000);
    if (micros <= 0 || cycle.rate == 0) {
        return 0;
    }
    const auto frame = static_cast<std::uint64_t>(micros) * cycle.rate / 1000000;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(frame, cycle.frames == 0 ? 0 : cycle.frames - 1));
}

std::uint64_t microsOfFrame(const MidiInputCycle& cycle, std::uint64_t frame)
{
    return cycle.rate == 0 ? cycle.startMicros : cycle.startMicros + frame * 1000000 / cycle.rate;
}

}  // namespace

LiveCycle::LiveCycle(LiveForwarder& forwarder, std::vector<int> targets, std::shared_ptr<const PlaybackOptions> options)
    : m_forwarder(forwarder),
      m_targets(std::move(targets)),
      m_sounding(m_targets.size()),
      m_current(options.get())
{
    m_out.reserve(kMessagesPerCoil * m_targets.size());
    m_kept.push_back(std::move(options));
}

void LiveCycle::offer(std::shared_ptr<const PlaybackOptions> options)
{
    const auto drop = [this](const PlaybackOptions* record) {
        std::erase_if(m_kept, [record](const auto& kept) { return kept.get() == record; });
    };
    for (const PlaybackOptions* retired = nullptr; m_retired.pop(retired);) {
        drop(retired);
    }
    if (!options || std::any_of(m_kept.begin(), m_kept.end(), [&](const auto& kept) { return kept == options; })) {
        return;
    }
    m_kept.push_back(options);
    // One offered before and not taken is the owner's again.
    if (const PlaybackOptions* untaken = m_next.exchange(options.get())) {
        drop(untaken);
    }
}

void LiveCycle::takeOptions() noexcept
{
    // Only with room to give the old record back.
    if (m_retired.full()) {
        return;
    }
    if (const PlaybackOptions* next = m_next.exchange(nullptr)) {
        (void)m_retired.push(m_current);
        m_current = next;
    }
}

bool LiveCycle::run(MidiInputCycle& cycle) noexcept
{
    takeOptions();
    m_tell = false;
    // Every note sounding began by `from`: the next cut is due from there on.
    std::uint32_t from = msOf(cycle.startMicros);
    for (std::size_t index = 0; index < cycle.eventCount(); ++index) {
        const MidiInputCycle::Event event = cycle.event(index);
        const std::uint32_t at = msOf(microsOfFrame(cycle, event.frame));
        cutsUntil(cycle, from, at);
        m_out.clear();
        m_forwarder.receive(event.bytes, event.length, *m_current, at, m_out);
        write(cycle, event.frame);
        from = at;
    }
    if (cycle.frames > 0) {
        cutsUntil(cycle, from, msOf(microsOfFrame(cycle, cycle.frames) - 1));
    }
    return m_tell;
}

void LiveCycle::cutsUntil(MidiInputCycle& cycle, std::uint32_t from, std::uint32_t untilMs) noexcept
{
    while (const auto due = m_forwarder.nextCutAt(from)) {
        if (static_cast<std::int32_t>(*due - untilMs) > 0) {
            return;
        }
        m_out.clear();
        m_forwarder.cutsDue(*due, m_out);
        if (m_out.empty()) {
            return;  // nothing more falls due by then
        }
        write(cycle, frameOfMs(cycle, *due));
        from = *due;
    }
}

void LiveCycle::write(MidiInputCycle& cycle, std::uint32_t frame) noexcept
{
    for (const CoilMessage& message : m_out) {
        const auto& [status, data1, data2] = message.bytes;
        if (status == 0xB0 && data1 == kAllSoundOff) {
            // The silencing, as MidiOutput::silence sends it: the keys as
            // they were before its all-sound-off.
            const std::bitset<128> keys = m_sounding[message.coil];
            (void)put(cycle, message.coil, 0xB0, kAllSoundOff, 0, frame);
            for (std::size_t key = 0; key < keys.size(); ++key) {
                if (keys.test(key)) {
                    (void)put(cycle, message.coil, 0x90, static_cast<std::uint8_t>(key), 0, frame);
                }
            }
            (void)put(cycle, message.coil, 0xB0, kAllNotesOff, 0, frame);
            continue;
        }
        if (put(cycle, message.coil, status, data1, data2, frame) && status == 0x90 && data2 != 0) {
            m_tell = m_played.push({data1, m_forwarder.duty(message.coil)}) || m_tell;
        }
    }
}

bool LiveCycle::put(MidiInputCycle& cycle, std::size_t coil, std::uint8_t status, std::uint8_t data1,
                    std::uint8_t data2, std::uint32_t frame) noexcept
{
    const std::uint8_t bytes[3] = {status, data1, data2};
    if (!cycle.write(m_targets[coil], bytes, shortMessageLength(status), frame)) {
        int none = -1;
        (void)m_refused.compare_exchange_strong(none, static_cast<int>(coil));
        m_tell = true;
        return false;
    }
    if (status == 0x90) {
        m_sounding[coil].set(data1 & 0x7F, data2 != 0);
    }
    return true;
}
