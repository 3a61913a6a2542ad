#include "live/LiveForwarder.h"

#include "midiout/ShortMessage.h"
#include "song/VelocityCurve.h"

namespace {

constexpr std::uint8_t kNoteOnStatus = 0x90;
constexpr std::uint8_t kControlStatus = 0xB0;

CoilMessage noteOnMessage(std::size_t coil, int key, int velocity)
{
    return {coil, {kNoteOnStatus, static_cast<std::uint8_t>(key & 0x7F), static_cast<std::uint8_t>(velocity & 0x7F)}};
}

// Live input without a rig file: one coil that takes every channel, with
// nothing of its own, so that everything follows the Options and the limits
// file as before there were rigs.
Rig everyChannelToOneCoil()
{
    Coil coil;
    coil.name = kDefaultCoilName;
    coil.channels.bits = 0xFFFF;
    return Rig{{coil}, {}};
}

}  // namespace

LiveForwarder::CoilLane::CoilLane(const Coil& ofRig) : coil(ofRig), rule(ofRig, PlaybackOptions{})
{
    for (auto& channel : sounded) {
        channel.fill(-1);
    }
}

LiveForwarder::LiveForwarder(int inputChannel) : LiveForwarder(inputChannel, everyChannelToOneCoil()) {}

LiveForwarder::LiveForwarder(int inputChannel, const Rig& rig) : m_inputChannel(inputChannel), m_routes(rig)
{
    m_coils.reserve(rig.coils.size());
    for (const Coil& coil : rig.coils) {
        m_coils.emplace_back(coil);
    }
}

void LiveForwarder::receive(const std::uint8_t* bytes, std::size_t length, const PlaybackOptions& options,
                            std::uint32_t now, CoilMessages& out)
{
    for (std::size_t index = 0; index < length; ++index) {
        const std::uint8_t byte = bytes[index];
        if (byte >= 0xF8) {
            continue;  // realtime: may come between any two bytes
        }
        if (byte >= 0x80) {
            // A system message ends running status; its data bytes are dropped.
            m_status = byte < 0xF0 ? byte : 0;
            m_dataCount = 0;
            continue;
        }
        if (m_status == 0) {
            continue;
        }
        m_data[m_dataCount++] = byte;
        if (m_dataCount == shortMessageLength(m_status) - 1) {
            message(options, now, out);
            m_dataCount = 0;
        }
    }
}

void LiveForwarder::message(const PlaybackOptions& options, std::uint32_t now, CoilMessages& out)
{
    const int channel = m_status & 0x0F;
    if (m_inputChannel != kAllChannels && channel != m_inputChannel) {
        return;
    }
    for (CoilLane& lane : m_coils) {
        lane.limiter.setLimits(coilLimitsInForce(lane.coil, options.coilLimits));
        lane.rule.followShift(options);
    }
    const int kind = m_status >> 4;
    const int key = m_data[0];
    const int value = m_data[1];
    if (kind == 0x9 && value > 0) {
        noteOn(channel, key, value, options, now, out);
    } else if (kind == 0x8 || kind == 0x9) {
        noteOff(channel, key, now, out);
    } else if (kind == 0xB && key == kSustain) {
        pedal(channel, value >= 64, now, out);
    } else if (kind == 0xB && (key == kAllSoundOff || key == kAllNotesOff)) {
        // The keyboard's panic: every coil, whichever channel it came on.
        silence(out);
    }
}

void LiveForwarder::noteOn(int channel, int key, int velocity, const PlaybackOptions& options, std::uint32_t now,
                           CoilMessages& out)
{
    // Struck again before its note-off (or while the pedal holds it): the old
    // note ends first, so that it never outlives its last release.
    release(channel, key, now, out);
    const auto ch = static_cast<std::size_t>(channel);
    m_down[ch][static_cast<std::size_t>(key)] = true;
    // Masked as the controller reads it: a curve entry above 127 or below 0
    // is still a note-on for the note rule.
    const int curved = curvedVelocity(velocity, options) & 0x7F;
    if (curved == 0) {
        return;  // the curve silences it
    }
    for (const std::size_t coil : m_routes.coilsOf(channel)) {
        for (const CoilKeyMessage& message : m_coils[coil].rule.take(channel, key, curved)) {
            sound(coil, channel, key, message, now, out);
        }
    }
}

void LiveForwarder::sound(std::size_t coil, int channel, int key, CoilKeyMessage message, std::uint32_t now,
                          CoilMessages& out)
{
    CoilLane& lane = m_coils[coil];
    const auto slot = static_cast<std::size_t>(message.key);
    if (message.velocity == 0) {
        // A key the voice rule stole for this note.
        if (lane.soundedBy[slot] > 0) {
            lane.limiter.noteOn(message.key, 0, now);
            out.push_back(noteOnMessage(coil, message.key, 0));
            forget(lane, message.key);
        }
        return;
    }
    const auto sent = lane.limiter.noteOn(message.key, message.velocity, now);
    if (!sent) {
        return;
    }
    out.push_back(noteOnMessage(coil, message.key, *sent));
    lane.sounded[static_cast<std::size_t>(channel)][static_cast<std::size_t>(key)] =
        static_cast<std::int8_t>(message.key);
    ++lane.soundedBy[slot];
}

void LiveForwarder::noteOff(int channel, int key, std::uint32_t now, CoilMessages& out)
{
    const auto ch = static_cast<std::size_t>(channel);
    const auto k = static_cast<std::size_t>(key);
    if (!m_down[ch][k] || m_held[ch][k]) {
        return;
    }
    if (m_pedalDown[ch]) {
        m_held[ch][k] = true;
        HeldNotes& held = m_heldNotes[ch];
        if (!held.listed[k]) {
            held.listed[k] = true;
            held.order[held.count++] = static_cast<std::uint8_t>(key);
        }
        return;
    }
    release(channel, key, now, out);
}

void LiveForwarder::release(int channel, int key, std::uint32_t now, CoilMessages& out)
{
    const auto ch = static_cast<std::size_t>(channel);
    const auto k = static_cast<std::size_t>(key);
    m_down[ch][k] = false;
    m_held[ch][k] = false;
    for (const std::size_t coil : m_routes.coilsOf(channel)) {
        release(coil, channel, key, now, out);
    }
}

void LiveForwarder::release(std::size_t coil, int channel, int key, std::uint32_t now, CoilMessages& out)
{
    CoilLane& lane = m_coils[coil];
    // The voice rule lets the note's voice go; what leaves is the key the
    // note-on sounded, whatever the shift says now.
    (void)lane.rule.take(channel, key, 0);
    std::int8_t& sounded = lane.sounded[static_cast<std::size_t>(channel)][static_cast<std::size_t>(key)];
    if (sounded < 0) {
        return;
    }
    const auto slot = static_cast<std::size_t>(sounded);
    sounded = -1;
    if (--lane.soundedBy[slot] == 0) {
        lane.limiter.noteOn(static_cast<int>(slot), 0, now);
        out.push_back(noteOnMessage(coil, static_cast<int>(slot), 0));
    }
}

void LiveForwarder::forget(CoilLane& lane, int key)
{
    lane.soundedBy[static_cast<std::size_t>(key)] = 0;
    for (auto& channel : lane.sounded) {
        for (std::int8_t& sounded : channel) {
            sounded = sounded == key ? std::int8_t{-1} : sounded;
        }
    }
}

void LiveForwarder::pedal(int channel, bool down, std::uint32_t now, CoilMessages& out)
{
    const auto ch = static_cast<std::size_t>(channel);
    m_pedalDown[ch] = down;
    if (down) {
        return;
    }
    HeldNotes& held = m_heldNotes[ch];
    for (std::size_t at = 0; at < held.count; ++at) {
        const std::uint8_t key = held.order[at];
        held.listed[key] = false;
        // A held note struck again has been released already.
        if (m_held[ch][key]) {
            release(channel, key, now, out);
        }
    }
    held.count = 0;
}

void LiveForwarder::volume(int value, CoilMessages& out)
{
    for (std::size_t coil = 0; coil < m_coils.size(); ++coil) {
        const auto share = static_cast<std::uint8_t>(coilChannelVolume(m_coils[coil].coil, value) & 0x7F);
        out.push_back({coil, {kControlStatus, kChannelVolume, share}});
    }
}

void LiveForwarder::cutsDue(std::uint32_t now, CoilMessages& out)
{
    for (std::size_t coil = 0; coil < m_coils.size(); ++coil) {
        CoilLane& lane = m_coils[coil];
        while (const auto key = lane.limiter.takeDueCut(now)) {
            out.push_back(noteOnMessage(coil, *key, 0));
            // Its input notes are over: their note-offs send nothing more.
            forget(lane, *key);
        }
    }
}

std::optional<std::uint32_t> LiveForwarder::nextCutAt(std::uint32_t now) const
{
    std::optional<std::uint32_t> next;
    for (const CoilLane& lane : m_coils) {
        const auto at = lane.limiter.nextCutAt(now);
        if (at && (!next || *at - now < *next - now)) {
            next = at;
        }
    }
    return next;
}

void LiveForwarder::silence(CoilMessages& out)
{
    for (std::size_t coil = 0; coil < m_coils.size(); ++coil) {
        CoilLane& lane = m_coils[coil];
        out.push_back({coil, {kControlStatus, kAllSoundOff, 0}});
        lane.limiter.controlChange(kAllSoundOff);
        lane.rule.silenced();
        for (auto& channel : lane.sounded) {
            channel.fill(-1);
        }
        lane.soundedBy = {};
    }
    m_down = {};
    m_held = {};
    m_heldNotes = {};
}

CoilLimitCounts LiveForwarder::limitCounts() const
{
    CoilLimitCounts sum;
    for (const CoilLane& lane : m_coils) {
        sum.softened += lane.limiter.counts().softened;
        sum.dropped += lane.limiter.counts().dropped;
        sum.cut += lane.limiter.counts().cut;
    }
    return sum;
}
