#pragma once

#include "coilmodel/CoilModel.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The sound of a single-output interrupter as the coil controller drives it:
// MIDI messages in, samples out. No I/O, no allocation, no locks, so the JACK
// process callback and the offline renderer run the same code.
//
// Each sounding note is a pulse train at the note's frequency (key 57 is
// 220 Hz, equal temperament), starting with a pulse at the moment the note
// starts. A pulse is min(period / 16, 100 us) x velocity / 128 long. At most
// two notes sound, the newest two: a third note drops the one held longest,
// as the duty-cycle estimate assumes.
//
// The interrupter has one output, so the two pulse trains are OR-ed: the
// output is on while either voice's pulse is, and overlapping pulses do not
// add up. While on, the output's level is the channel volume / 127 (full
// until the first channel volume arrives). Each sample holds the level times
// the part of its interval during which the output was on, so pulses shorter
// than a sample keep their energy and pulse edges fall between samples.
//
// Messages of every channel are taken alike. Velocity 0 (or a note-off) ends
// the note of that key in the older voice first; all-sound-off (controller
// 120), all-notes-off (123) and a system reset silence everything, and a
// system reset also brings the volume back to full.
class CoilSynth {
public:
    // Sample rates above 12,544 Hz (the highest key's frequency), so that
    // every period is longer than a sample.
    explicit CoilSynth(double sampleRate);

    // Applies one MIDI message (status byte first, 1 to 3 bytes) at the
    // current position: after the samples rendered so far. Anything else is
    // ignored.
    void receive(const std::uint8_t* bytes, std::size_t size);

    // Writes the next `frames` samples, each 0.0 to 1.0, and returns the
    // time in samples during which the output was on over them: the pulse
    // widths, two voices' overlapping pulses counted once, whatever the
    // level (the channel volume sets the loudness, not the pulse widths).
    double render(float* out, std::size_t frames);

    // The coil model's estimated duty cycle (a fraction) of the sounding
    // voices, every key counted. The channel volume does not enter it.
    double modelDuty() const { return m_model.duty(); }
    // Channel volume / 127.
    double level() const { return m_level; }
    int soundingVoices() const;
    // The key of each voice, the older note first; -1 for a silent voice.
    std::array<int, 2> voiceKeys() const;
    // Samples rendered so far.
    std::uint64_t position() const { return m_position; }
    double sampleRate() const { return m_sampleRate; }

    // Frequency in Hz of a key: 220 x (2^(1/12))^(key - 57).
    static double keyFrequency(int key);
    // Pulse length in seconds of a note: min(period / 16, 100 us) x velocity / 128.
    static double pulseSeconds(int key, int velocity);

private:
    struct Voice {
        bool sounding = false;
        int key = 0;
        int velocity = 0;
        double period = 0.0;        // samples
        double width = 0.0;         // samples
        std::uint64_t start = 0;    // the sample position at which the note began
    };

    void noteOn(int key, int velocity);
    void noteOff(int key);
    void silence();
    // The part of sample `frame`'s interval during which the output is on.
    double onFraction(std::uint64_t frame) const;

    double m_sampleRate;
    std::array<Voice, 2> m_voices{};  // [0] is the older note
    double m_level = 1.0;
    // The estimate follows the same messages in the shared model.
    TwoVoiceTracker m_model{kEveryKey};
    std::uint64_t m_position = 0;
};
