#pragma once

#include "coilmodel/CoilLimiter.h"
#include "fixed/FixedTone.h"

#include <cstdint>
#include <optional>
#include <string>

// Where the fixed-mode engine's output goes: the controller's messages and
// the status-bar text, in the order the engine produces them.
class FixedModeSink {
public:
    virtual ~FixedModeSink() = default;
    virtual void sendNoteOn(int channel, int key, int velocity) = 0;
    virtual void sendControlChange(int channel, int controller, int value) = 0;
    // The coil's silencing on `channel` (MidiOutput::silence).
    virtual void silence(int channel) = 0;
    virtual void statusText(const std::string& text) = 0;
};

// The steady tone of fixed mode, driven by the two slider positions. It keeps
// the key that is sounding and the power last sent, and turns each new pair
// of positions into exactly the messages that move the tone there. Always
// channel 0 at full velocity, whatever channel file playback uses, unless the
// coil limits say otherwise: the tone's velocity is then the highest that
// keeps the coil model's estimate under the duty limit, and a key outside the
// range (or one no velocity fits) does not sound, the status text saying why
// in place of the positions until the tone moves to a key that may sound. A
// lowered tone's status text gives the duty cycle of what is sent and the
// velocity; a tone at full velocity keeps the plain text.
// With a maximum note length the tone is cut once it has sounded that long
// (the thread asks nextCutAt when to look again); it sounds again when the
// frequency moves, or when asked (soundAgain), and is cut again as long
// after. Times are 32-bit wrapping milliseconds; without a maximum note
// length they are not looked at.
class FixedModeEngine {
public:
    static constexpr int kChannel = 0;
    static constexpr int kVelocity = kFixedFullVelocity;

    explicit FixedModeEngine(FixedModeSink& sink, const CoilLimits& limits = {});

    // Sounds `key` and sets the channel volume to `power`. No status text:
    // the tone is not described until a slider moves.
    void start(int key, int power, std::uint32_t now = 0);
    // One look at the sliders: a new key releases the old one and sounds the
    // new one, a new power is sent as channel volume; each change is followed
    // by the status text of the current positions. Unchanged positions send
    // nothing.
    void update(int key, int power, std::uint32_t now = 0);
    // Cuts the tone when it has sounded for the maximum note length at
    // `now`, with a status text; true when it did.
    bool cutIfDue(std::uint32_t now);
    // A tone that was cut (or refused) is sounded again at the same key and
    // power, with the status text of the positions; a tone that sounds is
    // left alone. True when it sounded again.
    bool soundAgain(std::uint32_t now);
    // The velocity the tone sounds with now (after the coil limits); nothing
    // while it is cut or refused.
    std::optional<int> soundingVelocity() const { return m_sounding ? std::optional(m_velocity) : std::nullopt; }
    // When the tone is to be cut, in the clock of `now`; nothing when no cut
    // is coming.
    std::optional<std::uint32_t> nextCutAt(std::uint32_t now) const { return m_limiter.nextCutAt(now); }
    // Silences the channel (the sink's silence releases the sounding key)
    // and reports "Exited Fixed Mode".
    void stop();

    int key() const { return m_key; }
    int power() const { return m_power; }

private:
    // Sounds m_key through the limits, or notes why it may not sound.
    void soundTone(std::uint32_t now);
    std::string statusText(int power) const;

    FixedModeSink& m_sink;
    CoilLimiter m_limiter;
    std::optional<std::string> m_refusal;
    int m_key = 0;
    // The velocity the sounding tone was sent with (lower than kVelocity
    // when the duty limit lowered it): the status text shows what is sent.
    int m_velocity = kVelocity;
    int m_power = 0;
    // The tone sounds: sent and neither refused nor cut since.
    bool m_sounding = false;
};
