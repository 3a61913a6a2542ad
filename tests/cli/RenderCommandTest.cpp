#include "RunProgram.h"
#include "support/SmfBuilder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Wav {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;
};

Wav readWav(const fs::path& path)
{
    Wav wav;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return wav;
    }
    wav.rate = info.samplerate;
    wav.channels = info.channels;
    wav.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    wav.samples.resize(static_cast<std::size_t>(sf_readf_float(file, wav.samples.data(), info.frames) * info.channels));
    sf_close(file);
    return wav;
}

// A run of non-zero samples: its centre of mass and its area, in samples.
struct Pulse {
    double centre = 0.0;
    double area = 0.0;
    std::size_t samples = 0;
    float highest = 0.0F;
};

std::vector<Pulse> pulsesOf(const std::vector<float>& samples)
{
    std::vector<Pulse> pulses;
    bool inPulse = false;
    double moment = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] != 0.0F) {
            if (!inPulse) {
                pulses.emplace_back();
                moment = 0.0;
                inPulse = true;
            }
            Pulse& pulse = pulses.back();
            pulse.area += samples[i];
            moment += (static_cast<double>(i) + 0.5) * samples[i];
            pulse.centre = moment / pulse.area;
            ++pulse.samples;
            pulse.highest = std::max(pulse.highest, samples[i]);
        } else {
            inPulse = false;
        }
    }
    return pulses;
}

struct RenderRow {
    int key;
    int velocity;
    const char* options;  // besides the song and the output
    double level;         // channel volume / 127
    double hertz;
    double widthSamples;  // min(period / 16, 100 us) x velocity / 128 at 48 kHz
    const char* dutyPeak; // as printed: the noteDuty model of the note sent
};

void PrintTo(const RenderRow& row, std::ostream* out)
{
    *out << "key " << row.key << " velocity " << row.velocity << ' ' << row.options;
}

class RenderCommand : public testing::TestWithParam<RenderRow> {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("quillarc-render-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // One note on channel 3 from tick 0 to tick 1280: at 80 bpm, 500 ms to
    // 2500 ms of the note list, so it is sent at 501 ms and released at 2501 ms.
    std::string heldNote(int key, int velocity)
    {
        return write("held.mid", SmfBuilder(1, 480)
                                     .track()
                                     .tempo(0, 750000)
                                     .end()
                                     .track()
                                     .noteOn(0, 3, key, velocity)
                                     .noteOff(1280, 3, key)
                                     .end()
                                     .bytes());
    }

    fs::path m_dir;
};

TEST_P(RenderCommand, HeldNoteHasItsPitchPulseWidthAndLevelForExactlyItsTime)
{
    const RenderRow& row = GetParam();
    std::vector<int> curve(128);
    for (int v = 0; v < 128; ++v) {
        curve[static_cast<std::size_t>(v)] = v == 100 ? 50 : v;
    }
    std::ofstream(m_dir / "curve.txt") << [&] {
        std::string text;
        for (const int v : curve) {
            text += std::to_string(v) + ' ';
        }
        return text;
    }();
    const fs::path out = m_dir / "held.wav";
    std::string options = row.options;
    if (const auto at = options.find("CURVE"); at != std::string::npos) {
        options.replace(at, 5, (m_dir / "curve.txt").string());
    }
    const ProgramRun run = runProgram(std::string(QUILLARC_CLI) + " render " + heldNote(row.key, row.velocity) + " -o " +
                                      out.string() + " --channel 3 " + options);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const Wav wav = readWav(out);
    EXPECT_EQ(wav.rate, 48000);
    EXPECT_EQ(wav.channels, 1);
    // Volume at 0, the note from 501 ms to 2501 ms, then half a second.
    ASSERT_EQ(wav.samples.size(), 3001U * 48);
    const std::vector<Pulse> pulses = pulsesOf(wav.samples);
    ASSERT_EQ(pulses.size(), static_cast<std::size_t>(std::lround(row.hertz * 2)));
    EXPECT_EQ(wav.samples[501 * 48 - 1], 0.0F);
    EXPECT_GT(wav.samples[501 * 48], 0.0F);
    EXPECT_LT(pulses.back().centre, 2501.0 * 48);

    const double hertz = 48000.0 * static_cast<double>(pulses.size() - 1) / (pulses.back().centre - pulses.front().centre);
    EXPECT_NEAR(hertz, row.hertz, row.hertz * 0.005);
    double widest = 0.0;
    double narrowest = 1e9;
    for (const Pulse& pulse : pulses) {
        const double width = pulse.area / row.level;
        widest = std::max(widest, width);
        narrowest = std::min(narrowest, width);
        EXPECT_LE(static_cast<double>(pulse.samples), std::ceil(row.widthSamples) + 1);
    }
    // A pulse two samples wide covers one sample whole: that sample is the level.
    if (row.widthSamples >= 2.0) {
        EXPECT_NEAR(pulses[1].highest, row.level, 1.0 / 32768);
    }
    // 16-bit samples: the width comes back to within a few thousandths of a sample.
    EXPECT_NEAR(widest, row.widthSamples, 0.005);
    EXPECT_NEAR(narrowest, row.widthSamples, 0.005);
    std::string measured(8, '\0');  // over the whole second from 1 s to 2 s: its pulses x their width
    std::snprintf(measured.data(), measured.size(), "%.2f", row.hertz * row.widthSamples / 48000 * 100);
    EXPECT_EQ(run.out, out.string() + ": 3.001 s, duty peak " + row.dutyPeak + " %, measured " + measured.c_str() + " %\n");
}

INSTANTIATE_TEST_SUITE_P(
    CoilRender, RenderCommand,
    testing::Values(
        // 100 us x 100/128 = 78.125 us
        RenderRow{57, 100, "--volume 127", 1.0, 220.0, 3.75, "1.72"},
        // 100 us x 64/128 = 50 us
        RenderRow{69, 64, "--volume 40", 40.0 / 127, 440.0, 2.4, "2.20"},
        // the curve sends velocity 50 for 100: 100 us x 50/128 = 39.0625 us
        RenderRow{57, 100, "--volume 90 --curve CURVE", 90.0 / 127, 220.0, 1.875, "0.86"},
        // 880 Hz is past the clamp: 1136.4 us / 16 x 127/128 = 70.459 us
        RenderRow{81, 127, "--volume 127", 1.0, 880.0, 1000000.0 / 880 / 16 * 127 / 128 * 0.048, "6.20"}),
    [](const testing::TestParamInfo<RenderRow>& row) {
        return std::string("Key") + std::to_string(row.param.key) + "Velocity" + std::to_string(row.param.velocity) +
               (std::string(row.param.options).find("CURVE") != std::string::npos ? "Curved" : "");
    });

TEST_F(RenderCommand, DutyLimitKeepsTheMeasuredDutyOfEverySecondUnderIt)
{
    // 40 notes 125 ms apart, each 250 ms long: two voices always busy.
    SmfBuilder song(1, 480);
    song.track();
    for (int step = 0; step < 42; ++step) {
        if (step >= 2) {
            song.noteOff(120, 0, 60 + (step - 2) * 7 % 31);
        }
        if (step < 40) {
            song.noteOn(step == 1 ? 120 : 0, 0, 60 + step * 7 % 31, 90 + step * 13 % 38);
        }
    }
    const std::string file = write("dense.mid", song.end().bytes());
    std::vector<double> measured;
    for (const char* options : {"--no-limits", "--duty-limit 4"}) {
        const ProgramRun run = runProgram(std::string(QUILLARC_CLI) + " render " + file + " -o " +
                                          (m_dir / "dense.wav").string() + " --channel 0 " + options);
        const std::size_t at = run.out.find("measured ");
        measured.push_back(at == std::string::npos ? -1.0 : std::stod(run.out.substr(at + 9)));
    }
    EXPECT_GT(measured[0], 4.0);
    EXPECT_LE(measured[1], 4.0);
}

TEST_F(RenderCommand, NothingToPlayOrNoOutputWritesNoFile)
{
    const std::string song = heldNote(57, 100);
    const fs::path out = m_dir / "none.wav";
    ProgramRun run = runProgram(std::string(QUILLARC_CLI) + " render " + song + " -o " + out.string() + " --channel 5");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Tempo change detected, new tempo = 80\nNo notes found on channel 5!\n");
    EXPECT_FALSE(fs::exists(out));
    run = runProgram(std::string(QUILLARC_CLI) + " render " + song + " --channel 3");
    EXPECT_EQ(run.exitCode, 2);
    run = runProgram(std::string(QUILLARC_CLI) + " render " + song + " -o " + (m_dir / "no-dir" / "x.wav").string() +
                     " --channel 3");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
    const std::string text = write("text.mid", {'h', 'e', 'l', 'l', 'o'});
    run = runProgram(std::string(QUILLARC_CLI) + " render " + text + " -o " + out.string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "File: " + text + " is not a MIDI file\nChara data ish\n") << "each diagnostic once";
}

TEST_F(RenderCommand, ARigWritesEachCoilOnAChannelOfItsOwnAtItsPitchAndVolumeShare)
{
    const std::string song = heldNote(57, 100);
    const std::string text = "[coil Lead]\nchannels = 3\n[coil Bass]\ndevice = Bass Coil\nchannels = 3\ntranspose = 12\n"
                             "volume_percent = 50\n[coil Idle]\ndevice = Idle Coil\nchannels = 4\n";
    const std::string rig = write("rig.conf", std::vector<std::uint8_t>(text.begin(), text.end()));
    const fs::path out = m_dir / "rig.wav";
    const ProgramRun run = runProgram(std::string(QUILLARC_CLI) + " render " + song + " -o " + out.string() +
                                      " --rig " + rig + " --volume 90");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Wav wav = readWav(out);
    ASSERT_EQ(wav.channels, 3);
    const struct {
        double hertz;
        double level;  // 90 / 127, and Bass's share: 90 x 50 / 100 = 45
    } coils[] = {{220.0, 90.0 / 127}, {440.0, 45.0 / 127}, {0.0, 0.0}};
    for (std::size_t c = 0; c < 3; ++c) {
        std::vector<float> channel;
        for (std::size_t i = c; i < wav.samples.size(); i += 3) {
            channel.push_back(wav.samples[i]);
        }
        const std::vector<Pulse> pulses = pulsesOf(channel);
        // The note sounds from 501 ms to 2501 ms: two seconds of pulses.
        EXPECT_NEAR(static_cast<double>(pulses.size()), 2 * coils[c].hertz, 1.0) << "channel " << c;
        EXPECT_NEAR(pulses.empty() ? 0.0 : pulses.front().highest, coils[c].level, 1.0 / 32768) << "channel " << c;
    }
}

}  // namespace
