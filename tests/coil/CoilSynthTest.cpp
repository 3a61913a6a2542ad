#include "coil/CoilSynth.h"
#include "coil/OfflineRender.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <tuple>
#include <vector>

namespace {

void send(CoilSynth& synth, std::initializer_list<std::uint8_t> bytes)
{
    const std::vector<std::uint8_t> message(bytes);
    synth.receive(message.data(), message.size());
}

std::vector<float> render(CoilSynth& synth, std::size_t frames)
{
    std::vector<float> out(frames, -1.0F);
    synth.render(out.data(), frames);
    return out;
}

// Samples [from, from + expected.size()) of `out`, compared one by one.
void expectSamples(const std::vector<float>& out, std::size_t from, const std::vector<double>& expected)
{
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(out.at(from + i), expected[i], 1e-5) << "sample " << from + i;
    }
}

struct PulseRow {
    const char* name;
    double rate;
    int volume;  // -1: no channel volume sent
    int key;
    int velocity;
    double level;
    // Checkpoints: sample index and expected value, divided by the level.
    std::vector<std::pair<std::size_t, std::vector<double>>> checks;
};

void PrintTo(const PulseRow& row, std::ostream* out)
{
    *out << row.name;
}

class PulseShape : public testing::TestWithParam<PulseRow> {};

TEST_P(PulseShape, PulsesStartWithTheNoteAndHaveTheModelsWidthAndLevel)
{
    const PulseRow& row = GetParam();
    CoilSynth synth(row.rate);
    render(synth, 37);
    if (row.volume >= 0) {
        send(synth, {0xB0, 7, static_cast<std::uint8_t>(row.volume)});
    }
    send(synth, {0x90, static_cast<std::uint8_t>(row.key), static_cast<std::uint8_t>(row.velocity)});
    const std::vector<float> out = render(synth, 600);
    for (const auto& [from, values] : row.checks) {
        std::vector<double> scaled;
        for (const double value : values) {
            scaled.push_back(value * row.level);
        }
        expectSamples(out, from - 37, scaled);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CoilSynth, PulseShape,
    testing::Values(
        // 220 Hz: period 218.18 samples; 100 us x 96/128 = 3.6 samples.
        PulseRow{"Key57ClampedAtVolume100", 48000, 100, 57, 96, 100.0 / 127,
                 {{37, {1, 1, 1, 0.6, 0}}, {254, {0, 1 - 0.1818182, 1, 1, 0.7818182, 0}}}},
        // 1760 Hz: period 27.27 samples; a sixteenth of it x 64/128 = 0.852 samples,
        // at full level before any channel volume.
        PulseRow{"Key93ShorterThanASampleAtFullLevel", 48000, -1, 93, 64, 1.0,
                 {{37, {0.8522727, 0, 0}}, {64, {0.7272727, 0.125, 0}}}},
        // 440 Hz at 44.1 kHz: period 100.23 samples; 100 us x 127/128 = 4.3755 samples.
        PulseRow{"Key69At44100HzAndVolume31", 44100, 31, 69, 127, 31.0 / 127,
                 {{37, {1, 1, 1, 1, 0.375546875, 0}}, {137, {0.7727273, 1, 1, 1, 0.6028196, 0}}}}),
    [](const testing::TestParamInfo<PulseRow>& row) { return row.param.name; });

TEST(CoilSynth, TwoVoicesAreOredNotAdded)
{
    CoilSynth synth(48000);
    render(synth, 10);
    send(synth, {0x90, 57, 96});  // pulse [10, 13.6)
    render(synth, 2);
    send(synth, {0x91, 57, 96});  // pulse [12, 15.6): the same key on another channel
    const std::vector<float> out = render(synth, 10);
    expectSamples(out, 0, {1, 1, 1, 0.6, 0, 0, 0});
    CoilSynth apart(48000);
    send(apart, {0x90, 45, 96});  // 110 Hz: pulses 436.36 samples apart
    render(apart, 100);
    send(apart, {0x90, 57, 96});
    const std::vector<float> both = render(apart, 250);
    expectSamples(both, 0, {1, 1, 1, 0.6, 0});
    expectSamples(both, 318 - 100 - 1, {0, 1 - 0.1818182, 1, 1, 0.7818182, 0});
}

TEST(CoilSynth, ThirdNoteDropsTheOldestAndTheOtherKeepsItsPhase)
{
    CoilSynth synth(48000);
    render(synth, 5);
    send(synth, {0x90, 60, 100});
    render(synth, 20);
    send(synth, {0x90, 57, 96});  // starts at 25: pulses at 25, 243.18, 461.36, ...
    render(synth, 20);
    send(synth, {0x90, 64, 90});
    EXPECT_EQ(synth.voiceKeys(), (std::array<int, 2>{57, 64}));
    render(synth, 100);
    send(synth, {0x80, 64, 0});  // a note-off message ends the newer one
    const std::vector<float> out = render(synth, 300);
    // Position 145 on: only key 57 is left, still on its own grid.
    expectSamples(out, 242 - 145, {0, 1 - 0.1818182, 1, 1, 0.7818182, 0});
    EXPECT_EQ(synth.voiceKeys(), (std::array<int, 2>{57, -1}));
}

TEST(CoilSynth, NoteOffsEndOneVoiceTheOlderFirst)
{
    struct Step {
        std::vector<std::uint8_t> message;
        std::array<int, 2> keys;
    };
    const std::vector<Step> steps{
        {{0x90, 60, 100}, {60, -1}},
        {{0x90, 60, 90}, {60, 60}},   // the same key twice: two voices
        {{0x90, 61, 0}, {60, 60}},    // no voice holds 61
        {{0x93, 60, 0}, {-1, 60}},    // velocity 0 on any channel; the older voice first
        {{0x90, 72, 80}, {60, 72}},   // a free first voice: the held note moves up
        {{0x80, 72, 64}, {60, -1}},
        {{0x90, 0, 5}, {60, 0}},      // key 0 is a note like any other
        {{0x90, 0, 0}, {60, -1}},
    };
    CoilSynth synth(48000);
    int index = 0;
    for (const Step& step : steps) {
        synth.receive(step.message.data(), step.message.size());
        EXPECT_EQ(synth.voiceKeys(), step.keys) << "after step " << index;
        ++index;
    }
}

struct SilenceRow {
    const char* name;
    std::vector<std::vector<std::uint8_t>> messages;
    int voicesAfter;
    double levelAfter;
};

void PrintTo(const SilenceRow& row, std::ostream* out)
{
    *out << row.name;
}

class Silencing : public testing::TestWithParam<SilenceRow> {};

TEST_P(Silencing, EndsBothNotesOrLeavesThem)
{
    const SilenceRow& row = GetParam();
    CoilSynth synth(48000);
    send(synth, {0xB0, 7, 40});
    send(synth, {0x90, 57, 96});
    send(synth, {0x90, 69, 96});
    render(synth, 7);
    for (const auto& message : row.messages) {
        synth.receive(message.data(), message.size());
    }
    EXPECT_EQ(synth.soundingVoices(), row.voicesAfter);
    EXPECT_DOUBLE_EQ(synth.level(), row.levelAfter);
    const std::vector<float> out = render(synth, 250);
    double sum = 0.0;
    for (const float sample : out) {
        sum += sample;
    }
    EXPECT_EQ(sum > 0.0, row.voicesAfter > 0);
}

std::vector<std::vector<std::uint8_t>> outputLayerReset()
{
    std::vector<std::vector<std::uint8_t>> messages;
    for (std::uint8_t controller : {64, 120, 123}) {
        for (std::uint8_t channel = 0; channel < 16; ++channel) {
            messages.push_back({static_cast<std::uint8_t>(0xB0 + channel), controller, 0});
        }
    }
    return messages;
}

INSTANTIATE_TEST_SUITE_P(
    CoilSynth, Silencing,
    testing::Values(SilenceRow{"AllSoundOff", {{0xB0, 120, 0}}, 0, 40.0 / 127},
                    SilenceRow{"AllNotesOffOnAnotherChannel", {{0xB9, 123, 0}}, 0, 40.0 / 127},
                    SilenceRow{"OutputLayerReset", outputLayerReset(), 0, 40.0 / 127},
                    SilenceRow{"SystemResetAlsoRestoresFullVolume", {{0xFF}}, 0, 1.0},
                    SilenceRow{"SustainAndResetControllersLeaveTheNotes", {{0xB0, 64, 0}, {0xB0, 121, 0}}, 2, 40.0 / 127},
                    SilenceRow{"ChannelVolumeChangesOnlyTheLevel", {{0xB2, 7, 90}}, 2, 90.0 / 127},
                    SilenceRow{"TruncatedAndDataOnlyMessagesAreIgnored", {{0xB0, 120}, {0x40, 0x7B}, {}}, 2, 40.0 / 127}),
    [](const testing::TestParamInfo<SilenceRow>& row) { return row.param.name; });

TEST(OfflineRender, MeasuresTheOutputsOnTimeOverEachSecond)
{
    // From sample 100, key 57 pulses every 218.18 samples, 3.75 wide; key 69 every 109.09, 2.4 wide, every
    // other one inside a key 57 pulse: 220 x 3.75 + 220 x 2.4 samples on in the first second, half in the last half.
    CoilSynth synth(48000);
    const std::vector<TimedMessage> messages{{100, {0x90, 57, 100}, 3}, {100, {0x90, 69, 64}, 3}};
    std::vector<double> measured;
    EXPECT_TRUE(renderTimed(synth, messages, 72000, [](const float*, std::size_t) { return true; },
                            [&](const DutyReport& report) { measured.push_back(report.measured * 48000); }));
    EXPECT_EQ(measured.size(), 2U);
    EXPECT_NEAR(measured.at(0), 220 * 3.75 + 220 * 2.4, 1e-7);
    EXPECT_NEAR(measured.at(1), 110 * 3.75 + 110 * 2.4, 1e-7);
}

TEST(OfflineRender, AppliesMessagesAtTheirFramesAndStopsAtTheEnd)
{
    CoilSynth synth(48000);
    std::vector<float> out;
    std::vector<std::size_t> blocks;
    const std::vector<TimedMessage> messages{
        {3, {0xB0, 7, 50}, 3}, {5000, {0x90, 93, 64}, 3}, {5030, {0xB0, 120, 0}, 3}, {9000, {0x90, 57, 100}, 3}};
    const bool done = renderTimed(synth, messages, 9000, [&](const float* samples, std::size_t frames) {
        out.insert(out.end(), samples, samples + frames);
        blocks.push_back(frames);
        return true;
    });
    EXPECT_TRUE(done);
    EXPECT_EQ(blocks, (std::vector<std::size_t>{3, 4096, 901, 30, 3970}));
    expectSamples(out, 4999, {0, 0.8522727 * 50 / 127, 0});
    expectSamples(out, 5027, {0.7272727 * 50 / 127, 0.125 * 50 / 127, 0});
    EXPECT_EQ(synth.soundingVoices(), 0);  // the note at the end frame was not applied
    EXPECT_EQ(synth.position(), 9000U);

    CoilSynth refused(48000);
    int calls = 0;
    EXPECT_FALSE(renderTimed(refused, messages, 9000, [&](const float*, std::size_t) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

}  // namespace
