#include "RunProgram.h"
#include "support/SmfBuilder.h"
#include "support/SongFolder.h"
#include "song/PlaybackOptions.h"
#include "views/Analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace {

std::string exact(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A duty as the window and the limits speak of it: percent, two decimals.
std::string percent(double duty)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %%", duty * 100.0);
    return text;
}

ProgramRun cli(const std::string& args)
{
    return runProgram(std::string(QUILLARC_CLI) + " " + args);
}

class AnalysisCommands : public SongFolder {
protected:
    // At 100 bpm and 480 ticks per quarter a tick is 1.25 ms. Channel 2 holds two
    // note-ons of key 60 ended by one note-off, keys 93 and 35 overlapping, and a
    // key 72 never released; channel 5 one note.
    std::string song()
    {
        return write("song.mid", SmfBuilder(1, 480)
                                     .track()
                                     .tempo(0, 600000)
                                     .end()
                                     .track()
                                     .noteOn(0, 2, 60, 100)   // 500 ms
                                     .noteOn(50, 5, 40, 90)   // 562
                                     .noteOn(50, 2, 60, 50)   // 625
                                     .noteOff(200, 2, 60)     // 875
                                     .noteOn(1, 2, 93, 64)    // 876
                                     .noteOn(9, 2, 35, 70)    // 887
                                     .noteOff(467, 2, 93)     // 1471
                                     .noteOff(23, 2, 35)      // 1500
                                     .noteOn(100, 2, 72, 1)   // 1625
                                     .noteOff(100, 5, 40)     // 1750
                                     .end()
                                     .bytes());
    }
};

TEST_F(AnalysisCommands, EachCommandPrintsItsCsvOfTheChosenChannel)
{
    const std::string file = song();
    const double a = noteDuty(60, 100);
    const double b = noteDuty(60, 50);
    const double c = noteDuty(93, 64);
    const std::vector<DutyPoint> points{{500, a}, {625, a + b}, {875, b}, {876, b + c}, {1471, b}, {1500, b}, {1625, b + noteDuty(72, 1)}};
    std::string duty = "time_ms,duty\n";
    for (const DutyPoint& point : points) {
        duty += std::to_string(point.timeMs) + "," + exact(point.duty) + "\n";
    }
    std::string weights = "key,weight\n";
    for (int key = 0; key < 128; ++key) {
        weights += std::to_string(key) + "," + (key == 35 ? "42910" : key == 60 ? "50000" : key == 93 ? "38080" : "0") + "\n";
    }
    weights += "scale,50000\n";
    const DutySummary summary = summarizeDuty(points);
    ASSERT_EQ(summary.peakMs, 876);
    // The coil model counts key 35 too: it takes the voice of the older 60.
    const double d = noteDuty(35, 70);
    std::string coilDuty = "time_ms,duty\n";
    for (const DutyPoint& point : std::vector<DutyPoint>{
             {500, a}, {625, a + b}, {875, b}, {876, b + c}, {887, c + d}, {1471, d}, {1500, 0.0}, {1625, noteDuty(72, 1)}}) {
        coilDuty += std::to_string(point.timeMs) + "," + exact(point.duty) + "\n";
    }

    // Bass: channel 2 an octave up, one voice keeping the highest: the 35
    // (47 on the coil) finds 93 (105) sounding and is dropped. Lead: channel
    // 5 transposed out of the key range.
    const std::string text = "[coil Lead]\ndevice = Lead Coil\nchannels = 5\ntranspose = -41\nmax_note_ms = 100\n"
                             "[coil Bass]\ndevice = Bass Coil\nchannels = 2\nvoices = 1\ntranspose = 12\nvolume_percent = 80\n";
    const std::string rig = write("rig.conf", std::vector<std::uint8_t>(text.begin(), text.end()));
    const DutySummary bass = summarizeDuty(coilDutyPoints(
        {{72, 100, 500}, {72, 50, 625}, {72, 0, 875}, {105, 64, 876}, {105, 0, 1471}, {84, 1, 1625}}, PlaybackOptions{}));
    char bassPeak[64];
    std::snprintf(bassPeak, sizeof bassPeak, "duty peak %s at %d ms", percent(bass.peak).c_str(), bass.peakMs);

    const std::string tempoLine = "Tempo change detected, new tempo = 100\n";
    const std::vector<std::tuple<std::string, std::string, std::string>> rows{
        {"pairs " + file + " --channel 2", "key,velocity,start,length\n60,100,500,375\n60,50,625,250\n93,64,876,595\n35,70,887,613\n", tempoLine},
        {"pairs --shift-low-notes --lower-limit 60 --channel 2 " + file,
         "key,velocity,start,length\n68,100,500,375\n68,50,625,250\n93,64,876,595\n43,70,887,613\n", tempoLine},
        {"weights " + file + " --channel 2", weights, tempoLine},
        {"duty " + file + " --channel 2", duty, tempoLine},
        {"duty --summary " + file + " --channel 2",
         "peak " + percent(b + c) + " at 876 ms, mean " + percent(summary.mean) + "\n", tempoLine},
        {"duty --coil " + file + " --channel 2", coilDuty, tempoLine},
        {"pairs " + file + " --coil Bass --rig " + rig,
         "key,velocity,start,length\n72,100,500,375\n72,50,625,250\n105,64,876,595\n", tempoLine},
        {"pairs " + file + " --channels 2,5 --voices 1 --keep latest",
         "key,velocity,start,length\n60,100,500,62\n40,90,562,63\n60,50,625,250\n93,64,876,11\n35,70,887,613\n", tempoLine},
        {"coils " + file + " --rig " + rig,
         "Rig file " + rig + ": 2 coils\nCoil Lead: device Lead Coil (missing)\n"
         "  channels 5; voices all, keep highest; transpose -41; volume 100 %; limits max_note_ms 100\n"
         "  plays 0 notes; voice rule dropped 0, stole 0; transpose dropped 1; duty peak 0.00 % at 0 ms\n"
         "Coil Bass: device Bass Coil (missing)\n"
         "  channels 2; voices 1, keep highest; transpose 12; volume 80 %; limits none\n"
         "  plays 4 notes; voice rule dropped 1, stole 0; transpose dropped 0; " + bassPeak + "\n",
         tempoLine},
        {"channels " + file + " --shift-low-notes", "channel,notes,first_ms,last_ms\n2,5,500,1625\n5,1,562,1750\n", ""},  // a survey, not an extraction
    };
    for (const auto& [args, out, err] : rows) {
        const ProgramRun run = cli(args);
        EXPECT_EQ(run.exitCode, 0) << args;
        EXPECT_EQ(run.out, out) << args;
        EXPECT_EQ(run.err, err) << args;
    }
}

TEST_F(AnalysisCommands, FailuresExitOneWithTheirLineOnStandardError)
{
    const std::string cut = write("cut.mid", SmfBuilder(0, 480).track().noteOn(0, 2, 60, 64).noteOff(480, 2, 60).raw({0, 0x92, 61}).bytes());
    const std::string tempo = write("tempo.mid", SmfBuilder(0, 480).track().noteOn(0, 2, 60, 64).tempo(0, 0).end().bytes());
    const std::string missing = (m_dir / "missing.mid").string();
    const std::vector<std::pair<std::string, std::string>> commands{
        {"pairs --channel 2", "key,velocity,start,length\n60,64,500,500\n"},
        {"weights --channel 2", "key,weight\n0,0\n"},
        {"duty --channel 2", "time_ms,duty\n500," + exact(noteDuty(60, 64)) + "\n1000,0\n"},
        {"duty --summary --channel 2", "peak " + percent(noteDuty(60, 64)) + " at 500 ms, mean " +
                                           percent(summarizeDuty({{500, noteDuty(60, 64)}, {1000, 0.0}}).mean) + "\n"},
        {"channels", "channel,notes,first_ms,last_ms\n2,1,500,1000\n"},
    };
    for (const auto& [command, partialOut] : commands) {
        ProgramRun run = cli(command + " " + cut);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_EQ(run.out.substr(0, partialOut.size()), partialOut) << command << ": what was read is printed";
        EXPECT_EQ(run.err, "Error: unexpected end of file\n") << command;

        run = cli(command + " " + missing);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_EQ(run.err, "Error: cannot open file " + missing + "\n") << command;

        run = cli(command + " " + tempo);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_EQ(run.err, "Error: invalid tempo event at tick 0\n") << command;
    }
}

TEST_F(AnalysisCommands, UnreadableLimitsFileExitsTwoUnlessIgnored)
{
    const std::string file = song();
    std::filesystem::create_directories(m_dir / "quillarc");
    std::ofstream(m_dir / "quillarc" / "coil-limits.conf") << "max_note_ms = 2000\nlowest_key = 200\n";
    std::vector<std::string> commands{"duty " + file, "duty --summary " + file};
#ifdef QUILLARC_WITH_RENDER
    commands.push_back("render --channel 2 " + file + " -o " + file + ".wav");
#endif
    for (const std::string& command : commands) {
        ProgramRun run = runProgram(std::string(QUILLARC_CLI) + " " + command, m_dir.string());
        EXPECT_EQ(run.exitCode, 2) << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_EQ(run.err, "Error: " + m_dir.string() + "/quillarc/coil-limits.conf:2: lowest_key must be a whole number from 0 to 127\n");
        run = runProgram(std::string(QUILLARC_CLI) + " " + command + " --no-limits", m_dir.string());
        EXPECT_EQ(run.exitCode, 0) << command << ": " << run.err;
    }
}

TEST_F(AnalysisCommands, BadArgumentsExitTwoAndHelpListsTheOptions)
{
    for (const std::string args : {"pairs", "weights a.mid b.mid", "duty x.mid --lower-limit", "weights x.mid --summary",
                                   "channels x.mid --channel 2", "duty --bogus x.mid", "pairs x.mid --channel 16",
                                   "duty x.mid --duty-limit 100.5", "duty x.mid --duty-limit 4%", "duty x.mid --max-note-ms 0.5",
                                   "duty x.mid --highest-key 128", "duty x.mid --lowest-key 61 --highest-key 60",
                                   "duty x.mid --max-note-ms", "duty x.mid --curve c.txt", "pairs x.mid --voices 0",
                                   "pairs x.mid --coil Lead --keep lowest", "pairs x.mid --no-rig"}) {
        const ProgramRun run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << args;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
        EXPECT_EQ(run.out, "") << args;
    }
    const ProgramRun duty = cli("duty --help");
    EXPECT_EQ(duty.exitCode, 0);
    for (const char* option : {"--channel", "--shift-low-notes", "--lower-limit", "--summary", "--coil", "--curve",
                               "--duty-limit", "--max-note-ms", "--lowest-key", "--highest-key", "--no-limits"}) {
        EXPECT_NE(duty.out.find(option), std::string::npos) << option;
    }
    const ProgramRun all = cli("--help");
    for (const char* command : {"pairs", "weights", "duty", "channels"}) {
        EXPECT_NE(all.out.find("  " + std::string(command) + " "), std::string::npos) << command;
    }
}

}  // namespace
