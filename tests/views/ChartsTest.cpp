#include "views/Charts.h"

#include "support/SmfBuilder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>

void PrintTo(const ChartRect& r, std::ostream* out)
{
    *out << "(" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")";
}

namespace {

TEST(SpectrumChart, EachKeyFromOneIsAThreePixelBarScaledToOneHundredFortyPixels)
{
    KeyWeights weights;
    weights.weight[0] = 900.0;  // never drawn
    weights.weight[1] = 300.0;
    weights.weight[60] = 100.0;
    weights.weight[127] = 4.5;
    weights.scale = 900.0;
    const Chart chart = spectrumChart(weights);
    EXPECT_EQ(chart.kind, ChartKind::Spectrum);
    EXPECT_EQ(chart.width, 381);
    EXPECT_EQ(chart.height, 151);
    ASSERT_EQ(chart.bars.size(), 127u);
    EXPECT_EQ(chart.bars[0], (ChartRect{0, 103, 3, 150}));      // 150 - 46.67
    EXPECT_EQ(chart.bars[58], (ChartRect{174, 150, 177, 150}));  // key 59: nothing visible
    EXPECT_EQ(chart.bars[59], (ChartRect{177, 134, 180, 150}));  // 150 - 15.56
    EXPECT_EQ(chart.bars[126], (ChartRect{378, 149, 381, 150})); // 150 - 0.7
    EXPECT_EQ(chart.message, "");

    KeyWeights small;
    small.weight[2] = 0.5;
    small.scale = 1.0;
    EXPECT_EQ(spectrumChart(small).bars[1], (ChartRect{3, 80, 6, 150})) << "scaled against 1.0";
}

TEST(NotesChart, NotesArePlacedByTimeAcrossAndByKeyUpOnePixelHigh)
{
    const Chart chart = notesChart({{0, 90, 500, 700}, {127, 90, 1200, 1800}, {60, 1, 2999, 0}}, 3000);
    EXPECT_EQ(chart.kind, ChartKind::Notes);
    EXPECT_EQ(chart.width, 338);
    EXPECT_EQ(chart.height, 163);
    const std::vector<ChartRect> expected{
        {56, 160, 135, 161},   // 56.33 to 135.2
        {135, 33, 338, 34},    // ends at the last entry: the right edge
        {337, 100, 337, 101},  // 337.89, zero length
    };
    EXPECT_EQ(chart.bars, expected);
}

TEST(DutyChart, EachPointButTheLastOpensAStepThatTheNextPointCloses)
{
    const Chart chart = dutyChart({{500, 0.011}, {1100, 0.07}, {1333, 0.0}, {2000, 0.02}});
    EXPECT_EQ(chart.kind, ChartKind::Duty);
    EXPECT_EQ(chart.width, 381);
    EXPECT_EQ(chart.height, 151);
    const std::vector<ChartRect> expected{
        {95, 126, 209, 150},   // 151 - 24.44
        {209, -4, 253, 150},   // 151 - 155.56 reaches above the field, truncated toward zero
        {253, 151, 380, 150},  // no duty: no pixel
    };
    EXPECT_EQ(chart.bars, expected);
    EXPECT_TRUE(dutyChart({{700, 0.05}}).bars.empty()) << "a single point draws nothing";
    EXPECT_TRUE(dutyChart({}).bars.empty());
}

TEST(Charts, DegenerateTimesGiveDefinedCoordinates)
{
    EXPECT_EQ(notesChart({{60, 90, 0, 0}, {61, 90, 10, 5}}, 0).bars,
              (std::vector<ChartRect>{{0, 100, 0, 101},
                                      {std::numeric_limits<std::int32_t>::max(), 99, std::numeric_limits<std::int32_t>::max(), 100}}));
    EXPECT_EQ(dutyChart({{-300, 0.01}, {0, 0.0}}).bars,
              (std::vector<ChartRect>{{std::numeric_limits<std::int32_t>::min(), 128, 0, 150}}));
}

TEST(Charts, WithoutAFileEachFieldSaysSo)
{
    for (const auto& [kind, width, height] : {std::tuple{ChartKind::Spectrum, 381, 151}, std::tuple{ChartKind::Notes, 338, 163},
                                            std::tuple{ChartKind::Duty, 381, 151}}) {
        const Chart chart = noFileChart(kind);
        EXPECT_EQ(chart.kind, kind);
        EXPECT_EQ(chart.width, width);
        EXPECT_EQ(chart.height, height);
        EXPECT_TRUE(chart.bars.empty());
        EXPECT_EQ(chart.message, "No file loaded!");
    }
}

class ChartForSong : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("quillarc-charts-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        const auto path = m_dir / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    static Chart chartOf(ChartKind kind, const std::string& path, std::int32_t channel = 3)
    {
        PlaybackOptions options;
        options.playChannel = channel;
        return chartForSong(kind, loadSong(path, options), path);
    }

    std::filesystem::path m_dir;
};

TEST_F(ChartForSong, ACompleteReadDrawsTheBarsOfTheChosenChannelWithoutMessage)
{
    // 480 ticks per quarter at 120 bpm: ticks 480, 720 and 1440 fall at 1000, 1250 and 2000 ms.
    const std::string song = write("song.mid", SmfBuilder(0, 480)
                                                   .track()
                                                   .noteOn(480, 3, 60, 64)
                                                   .noteOn(0, 4, 70, 64)
                                                   .noteOff(240, 3, 60)
                                                   .noteOn(0, 3, 62, 96)
                                                   .noteOff(720, 3, 62)
                                                   .end()
                                                   .bytes());
    const Chart notes = chartOf(ChartKind::Notes, song);
    EXPECT_EQ(notes.bars, (std::vector<ChartRect>{{169, 100, 211, 101}, {211, 98, 338, 99}}));
    EXPECT_EQ(notes.message, "");
    const Chart duty = chartOf(ChartKind::Duty, song);
    ASSERT_EQ(duty.bars.size(), 3u);
    EXPECT_EQ(duty.bars[0].left, 190);
    EXPECT_EQ(duty.bars[2].right, 380);
    const Chart spectrum = chartOf(ChartKind::Spectrum, song);
    EXPECT_EQ(spectrum.bars[61], (ChartRect{183, 10, 186, 150}));   // 96 x 750, the scale
    EXPECT_EQ(spectrum.bars[59], (ChartRect{177, 118, 180, 150}));  // 64 x 250: 150 - 31.1
}

TEST_F(ChartForSong, FailuresShowTheirLineOverWhatWasRead)
{
    const std::string cut = write("cut.mid", SmfBuilder(0, 480).track().noteOn(0, 3, 60, 64).noteOff(480, 3, 60).raw({0, 0x93, 61}).bytes());
    const Chart partial = chartOf(ChartKind::Notes, cut);
    EXPECT_EQ(partial.bars, (std::vector<ChartRect>{{169, 100, 338, 101}}));
    EXPECT_EQ(partial.message, "Error: unexpected end of file");

    const std::string missing = (m_dir / "missing.mid").string();
    const Chart unopened = chartOf(ChartKind::Duty, missing);
    EXPECT_TRUE(unopened.bars.empty());
    EXPECT_EQ(unopened.message, "Error: cannot open file " + missing);

    const std::string badTempo =
        write("tempo.mid", SmfBuilder(0, 480).track().noteOn(0, 3, 60, 64).noteOff(480, 3, 60).tempo(0, 0).end().bytes());
    const Chart tempo = chartOf(ChartKind::Spectrum, badTempo);
    EXPECT_TRUE(tempo.bars.empty());
    EXPECT_EQ(tempo.message, "Error: invalid tempo event at tick 480");

    const std::string badTempoCut = write("tempocut.mid", SmfBuilder(0, 480).track().tempo(0, 0).raw({0, 0x93, 61}).bytes());
    EXPECT_EQ(chartOf(ChartKind::Spectrum, badTempoCut).message, "Error: unexpected end of file")
        << "the read failure comes first";
}

}  // namespace
