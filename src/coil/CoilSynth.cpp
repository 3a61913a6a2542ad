#include "coil/CoilSynth.h"

#include "coilmodel/CoilModel.h"
#include "midiout/ShortMessage.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr std::uint8_t kSystemReset = 0xFF;

// A part of one sample's interval, both ends in 0..1.
struct Span {
    double from;
    double to;
};

}  // namespace

CoilSynth::CoilSynth(double sampleRate) : m_sampleRate(sampleRate) {}

double CoilSynth::keyFrequency(int key)
{
    // The same frequency as the duty-cycle estimate's.
    return ::keyFrequency(key);
}

double CoilSynth::pulseSeconds(int key, int velocity)
{
    const double periodUs = 1000000.0 / keyFrequency(key);
    const double onUs = std::min(periodUs / 16.0, 100.0);
    return onUs * (velocity / 128.0) / 1000000.0;
}

void CoilSynth::receive(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0 || bytes[0] < 0x80) {
        return;
    }
    const std::uint8_t status = bytes[0];
    if (status == kSystemReset) {
        silence();
        m_level = 1.0;
        return;
    }
    if (size < 3) {
        return;
    }
    const int data1 = bytes[1] & 0x7F;
    const int data2 = bytes[2] & 0x7F;
    switch (status & 0xF0) {
    case 0x90:
        if (data2 == 0) {
            noteOff(data1);
        } else {
            noteOn(data1, data2);
        }
        break;
    case 0x80:
        noteOff(data1);
        break;
    case 0xB0:
        if (data1 == kChannelVolume) {
            m_level = data2 / 127.0;
        } else if (data1 == kAllSoundOff || data1 == kAllNotesOff) {
            silence();
        }
        break;
    default:
        break;
    }
}

void CoilSynth::noteOn(int key, int velocity)
{
    Voice voice;
    voice.sounding = true;
    voice.key = key;
    voice.velocity = velocity;
    voice.period = m_sampleRate / keyFrequency(key);
    voice.width = pulseSeconds(key, velocity) * m_sampleRate;
    voice.start = m_position;
    if (!m_voices[0].sounding && !m_voices[1].sounding) {
        m_voices[0] = voice;
    } else if (!m_voices[1].sounding) {
        m_voices[1] = voice;
    } else {
        // The note held longest goes; the other one sounds on undisturbed.
        m_voices[0] = m_voices[1];
        m_voices[1] = voice;
    }
    m_model.noteOn(key, velocity);
}

void CoilSynth::noteOff(int key)
{
    for (Voice& voice : m_voices) {
        if (voice.sounding && voice.key == key) {
            voice = Voice{};
            break;
        }
    }
    m_model.noteOff(key);
}

void CoilSynth::silence()
{
    m_voices = {};
    m_model.silence();
}

int CoilSynth::soundingVoices() const
{
    return static_cast<int>(std::count_if(m_voices.begin(), m_voices.end(), [](const Voice& v) { return v.sounding; }));
}

std::array<int, 2> CoilSynth::voiceKeys() const
{
    return {m_voices[0].sounding ? m_voices[0].key : -1, m_voices[1].sounding ? m_voices[1].key : -1};
}

double CoilSynth::onFraction(std::uint64_t frame) const
{
    // A pulse is shorter than a sixteenth of its period and the period is
    // longer than a sample, so at most two pulses of a voice touch a sample.
    std::array<Span, 4> spans{};
    std::size_t count = 0;
    for (const Voice& voice : m_voices) {
        if (!voice.sounding || voice.width <= 0.0) {
            continue;
        }
        const auto age = static_cast<double>(frame - voice.start);
        const double first = std::floor(age / voice.period);
        for (int pulse = 0; pulse < 2; ++pulse) {
            const double begin = (first + pulse) * voice.period - age;
            const double from = std::max(begin, 0.0);
            const double to = std::min(begin + voice.width, 1.0);
            if (to > from) {
                spans[count++] = {from, to};
            }
        }
    }
    if (count == 0) {
        return 0.0;
    }
    // Insertion sort by start: four spans at most.
    for (std::size_t i = 1; i < count; ++i) {
        for (std::size_t j = i; j > 0 && spans[j].from < spans[j - 1].from; --j) {
            std::swap(spans[j], spans[j - 1]);
        }
    }
    double on = 0.0;
    Span merged = spans[0];
    for (std::size_t i = 1; i < count; ++i) {
        if (spans[i].from <= merged.to) {
            merged.to = std::max(merged.to, spans[i].to);
        } else {
            on += merged.to - merged.from;
            merged = spans[i];
        }
    }
    return on + (merged.to - merged.from);
}

double CoilSynth::render(float* out, std::size_t frames)
{
    double on = 0.0;
    if (!m_voices[0].sounding && !m_voices[1].sounding) {
        std::fill(out, out + frames, 0.0F);
    } else {
        for (std::size_t i = 0; i < frames; ++i) {
            const double fraction = onFraction(m_position + i);
            on += fraction;
            out[i] = static_cast<float>(m_level * fraction);
        }
    }
    m_position += frames;
    return on;
}
