#include "views/Charts.h"

#include "views/ChartAxes.h"

#include "support/SmfBuilder.h"
#include "support/SongFolder.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <tuple>

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(SpectrumChart, EachKeyFromOneIsAThreePixelBarScaledToOneHundredFortyPixels)
{
    KeyWeights weights;
    weights.weight = {900.0, 300.0};  // key 0 is never drawn
    weights.weight[60] = 100.0;
    weights.weight[127] = 4.5;
    weights.scale = 900.0;
    const Chart chart = spectrumChart(weights);
    EXPECT_EQ(std::tuple(chart.kind, chart.width, chart.height, chart.bars.size()), std::tuple(ChartKind::Spectrum, 381, 151, 127u));
    EXPECT_EQ(chart.bars[0], (ChartRect{0, 103, 3, 150}));       // 150 - 46.67
    EXPECT_EQ(chart.bars[58], (ChartRect{174, 150, 177, 150}));  // key 59: nothing visible
    EXPECT_EQ(chart.bars[59], (ChartRect{177, 134, 180, 150}));  // 150 - 15.56
    EXPECT_EQ(chart.bars[126], (ChartRect{378, 149, 381, 150})); // 150 - 0.7
}

TEST(NotesChart, NotesArePlacedByTimeAcrossAndByKeyUpOnePixelHigh)
{
    const Chart chart = notesChart({{0, 90, 500, 700}, {127, 90, 1200, 1800}, {60, 1, 2999, 0}}, 3000);
    EXPECT_EQ(std::tuple(chart.kind, chart.width, chart.height), std::tuple(ChartKind::Notes, 338, 163));
    // 56.33 to 135.2; the note ending at the last entry reaches the right edge; 337.89
    EXPECT_EQ(chart.bars, (std::vector<ChartRect>{{56, 160, 135, 161}, {135, 33, 338, 34}, {337, 100, 337, 101}}));
}

TEST(DutyChart, EachPointButTheLastOpensAStepThatTheNextPointCloses)
{
    const Chart chart = dutyChart({{500, 0.011}, {1100, 0.07}, {1333, 0.0}, {2000, 0.02}});
    EXPECT_EQ(std::tuple(chart.kind, chart.width, chart.height), std::tuple(ChartKind::Duty, 381, 151));
    // tops 151 - 24.44 and 151 - 155.56, above the field and truncated toward zero
    EXPECT_EQ(chart.bars, (std::vector<ChartRect>{{95, 126, 209, 150}, {209, -4, 253, 150}, {253, 151, 380, 150}}));
    EXPECT_TRUE(dutyChart({{700, 0.05}}).bars.empty()) << "a single point draws nothing";
}

// Made from the entries as the points come: the chart and the summary of the
// points kept. Key 96 is outside the window's keys (its note-off still
// writes a point); a lone entry and no entry draw nothing.
TEST(DutyChart, OfEntriesIsTheChartAndSummaryOfTheWindowsPoints)
{
    const std::vector<std::vector<NoteListEntry>> cases{
        {{60, 90, 500}, {96, 100, 700}, {64, 50, 1100}, {60, 0, 1333}, {96, 0, 1500}, {64, 0, 2001}},
        {{60, 90, 500}},
        {},
    };
    for (const std::vector<NoteListEntry>& entries : cases) {
        const std::vector<DutyPoint> points = dutyPoints(entries);
        const Chart expected = dutyChart(points);
        const DutySummary expectedWindow = summarizeDuty(points);
        DutySummary window{1.0, 1, 1.0};
        const Chart chart = dutyChartOfEntries(entries, window);
        EXPECT_EQ(chart.bars, expected.bars);
        EXPECT_EQ(chart.timeAxis ? chart.timeAxis->endMs : -1, expected.timeAxis ? expected.timeAxis->endMs : -1);
        EXPECT_EQ(std::tuple(window.peak, window.peakMs, window.mean),
                  std::tuple(expectedWindow.peak, expectedWindow.peakMs, expectedWindow.mean));
    }
    DutySummary window;
    EXPECT_EQ(dutyChartOfEntries(cases[0], window).bars.size(), 4U) << "five of the six entries write a point";
}

TEST(Charts, DegenerateTimesGiveDefinedCoordinatesAndNoFileGivesItsMessage)
{
    EXPECT_EQ(notesChart({{60, 90, 0, 0}, {61, 90, 10, 5}}, 0).bars,
              (std::vector<ChartRect>{{0, 100, 0, 101}, {kMax, 99, kMax, 100}}));
    EXPECT_EQ(dutyChart({{-300, 0.01}, {0, 0.0}}).bars, (std::vector<ChartRect>{{kMin, 128, 0, 150}}));
    EXPECT_FALSE(dutyChart({{-300, 0.01}, {0, 0.0}}).timeAxis) << "a song ending at 0 has no time to place a playhead in";
    const Chart none = noFileChart(ChartKind::Notes);
    EXPECT_EQ(std::tuple(none.width, none.height, none.bars.size(), none.message), std::tuple(338, 163, 0u, "No file loaded!"));
}

TEST(Playhead, StandsAtTheSongsTimeAcrossTheTimeAxisInsideTheField)
{
    const Chart notes = notesChart({{60, 100, 0, 300}}, 2'000);
    const Chart duty = dutyChart({{500, 0.01}, {2'900, 0.0}});
    const Chart spectrum = spectrumChart(KeyWeights{});
    EXPECT_EQ(playheadColumn(notes, 1'234), 208);  // 1234 / 2000 x 338 = 208.6
    EXPECT_EQ(playheadColumn(duty, 1'234), 161);   // 1234 / 2900 x 380 = 161.7
    EXPECT_EQ(playheadColumn(notes, 0), 1);
    EXPECT_EQ(playheadColumn(notes, 2'000), 336);
    EXPECT_EQ(playheadColumn(duty, 2'900), 379);
    EXPECT_EQ(playheadColumn(spectrum, 1'234), std::nullopt);
    EXPECT_EQ(playheadColumn(notesChart({}, 0), 0), std::nullopt);
}

TEST(SoundingKeys, AreTheKeysWhoseJoinedNotesSpanTheSongsTime)
{
    Chart spectrum = spectrumChart(KeyWeights{});
    // Key 60's notes overlap and join; key 64's first has no length; key 128 is no key.
    spectrum.keyStretches = keyStretches({{60, 90, 700, 300}, {60, 90, 500, 250}, {64, 90, 1000, 0}, {64, 9, 1200, 100},
                                          {128, 90, 0, 5000}, {62, 90, 900, 350}});
    EXPECT_EQ(spectrum.keyStretches[60], (std::vector<Chart::Stretch>{{500, 1000}}));
    const std::tuple<std::int32_t, std::vector<std::int32_t>> rows[] = {
        {499, {}}, {500, {60}}, {999, {60, 62}}, {1000, {62}}, {1249, {62, 64}}, {1300, {}}};
    for (const auto& [ms, keys] : rows) {
        EXPECT_EQ(soundingKeys(spectrum, ms), keys) << ms;
    }
}

// What the windows show at their smallest: every label apart from the others,
// off the field and inside the window; note names every second C and a step
// of two seconds where one would crowd.
TEST(ChartAxes, AtTheSmallestSizeEveryLabelIsApartFromTheOthersAndTheField)
{
    const LabelMetrics metrics{13, [](std::string_view text) { return 6.0 * static_cast<double>(text.size()); }};
    const std::tuple<Chart, LayoutSize, std::vector<std::string>> rows[] = {
        {spectrumChart(KeyWeights{}), {389, 180}, {"C0", "C1", "C2", "C3", "C4", "C5", "C6", "C7", "C8", "C9"}},
        {notesChart({{60, 90, 500, 700}}, 12'345), {364, 190},
         {"0 s", "2 s", "4 s", "6 s", "8 s", "10 s", "12 s", "C0", "C2", "C4", "C6", "C8"}},
        {dutyChart({{500, 0.01}, {2'000, 0.0}}), {413, 208},
         {"0 s", "1 s", "2 s", "0 %", "1 %", "2 %", "3 %", "4 %", "5 %", "6 %"}},
    };
    for (const auto& [chart, size, texts] : rows) {
        const LayoutSize smallest = chartAreaFor(chart, 1, metrics);
        EXPECT_EQ(smallest, size);
        const ChartLayout layout = chartLayout(chart, smallest.width, smallest.height, metrics);
        EXPECT_EQ(layout.scale, 1.0);
        const auto apart = [](const LayoutBox& a, const LayoutBox& b) {
            return a.right() <= b.left || b.right() <= a.left || a.bottom() <= b.top || b.bottom() <= a.top;
        };
        std::vector<std::string> shown;
        for (std::size_t i = 0; i < layout.labels.size(); ++i) {
            const LayoutBox& box = layout.labels[i].box;
            shown.push_back(layout.labels[i].text);
            EXPECT_TRUE(apart(box, layout.field) && apart(box, layout.figures)) << shown.back();
            EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right() <= size.width && box.bottom() <= size.height) << shown.back();
            for (std::size_t j = 0; j < i; ++j) {
                EXPECT_TRUE(apart(box, layout.labels[j].box)) << shown.back() << " on " << layout.labels[j].text;
            }
        }
        EXPECT_EQ(shown, texts);
    }
}

// Measuring a text means shaping it: a three-hour song's finest level of
// seconds holds 10,801 labels, and a layout runs on every repaint. A level
// that crowds is given up at its first clash.
TEST(ChartAxes, ALongSongsLayoutMeasuresAFewLabelsNotEveryLevel)
{
    int measured = 0;
    const LabelMetrics metrics{13, [&](std::string_view text) {
                                   ++measured;
                                   return 6.0 * static_cast<double>(text.size());
                               }};
    const Chart chart = notesChart({{60, 90, 500, 700}}, 10'800'000);
    const ChartLayout layout = chartLayout(chart, 1'500.5, 400.25, metrics);
    ASSERT_FALSE(layout.labels.empty());
    EXPECT_EQ(layout.labels.front().text, "0 s");
    EXPECT_LT(measured, 150);
}

TEST(DutyFigures, TheLimitLiesWhereABarOfItsDutyWouldTopAndFollowsTheFigures)
{
    const std::string window = "Window peak 2.47 % at 1250 ms, mean 0.83 %; coil peak 3.13 %";
    const std::tuple<std::optional<double>, std::optional<std::int32_t>, std::string> rows[] = {
        {std::nullopt, std::nullopt, ""},
        {3.3, 77, "; limit 3.3 %"},     // 151 - 73.33
        {6.75, 1, "; limit 6.75 %"},    // the top row inside the field
        {7.0, std::nullopt, "; limit 7 %"},
        {0.02, 149, "; limit 0.02 %"},  // 150.56, held inside the field
    };
    for (const auto& [limit, row, suffix] : rows) {
        EXPECT_EQ(dutyLimitRow(limit), row) << suffix;
        EXPECT_EQ(dutyFiguresText({0.024681, 1250, 0.008349}, 0.031262, limit), window + suffix);
    }
}

class ChartForSong : public SongFolder {
protected:
    static Chart chartOf(ChartKind kind, const std::string& path, std::optional<double> dutyLimit = std::nullopt)
    {
        PlaybackOptions options;
        options.playChannel = 3;
        options.coilLimits.dutyLimitPercent = dutyLimit;
        return chartForSong(kind, loadSong(path, options), path);
    }
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
    EXPECT_EQ(chartOf(ChartKind::Duty, song).bars.size(), 3u);
    // Key 60 at 64 gives 1.308 %, key 62 at 96 2.202 %; under a 2 % limit the
    // coil gets key 62 at velocity 87: 1.996 %.
    const Chart duty = chartOf(ChartKind::Duty, song, 2.0);
    EXPECT_EQ(std::tuple(duty.limitRow, duty.figuresHeight, duty.figures),
              std::tuple(std::optional<std::int32_t>(106), 30,
                         "Window peak 2.20 % at 1250 ms, mean 1.98 %; coil peak 2.00 %; limit 2 %"));
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

    // A bad tempo in a file that is also cut short: the song cannot be played at all.
    const std::string badTempo = write("tempo.mid", SmfBuilder(0, 480).track().noteOn(0, 3, 60, 64).noteOff(0, 3, 60).tempo(0, 0).raw({0, 0x93}).bytes());
    const Chart tempo = chartOf(ChartKind::Notes, badTempo);
    EXPECT_TRUE(tempo.bars.empty());
    EXPECT_EQ(tempo.message, "Error: invalid tempo event at tick 0");
}

class ChartForSongWithoutNotes : public ChartForSong, public testing::WithParamInterface<std::tuple<ChartKind, ChartRect>> {};

// Notes on another channel, and only a release on the chosen one.
TEST_P(ChartForSongWithoutNotes, SaysSoWrappedWithinItsField)
{
    const auto [kind, box] = GetParam();
    const std::string song = write("other.mid", SmfBuilder(0, 480).track().noteOn(0, 4, 60, 64).noteOff(240, 3, 60).noteOff(240, 4, 60).end().bytes());
    const Chart chart = chartOf(kind, song);
    EXPECT_EQ(std::tuple(chart.bars.size(), chart.message), std::tuple(kind == ChartKind::Spectrum ? 127u : 0u, "No notes on channel 3"));
    EXPECT_EQ(std::tuple(chart.messageBox, chartOf(kind, "/nonexistent/quillarc/x.mid").messageBox), std::tuple(box, box));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ChartForSongWithoutNotes, testing::Values(std::tuple(ChartKind::Spectrum, ChartRect{5, 5, 380, 150}),
    std::tuple(ChartKind::Notes, ChartRect{5, 5, 337, 162}), std::tuple(ChartKind::Duty, ChartRect{5, 5, 380, 150})));

}  // namespace
