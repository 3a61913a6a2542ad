#include "views/Analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>

namespace {

// The forward search as first written: each note-on ends at the first later note-off of its key.
std::vector<PairedNote> literalPairs(const std::vector<NoteListEntry>& list)
{
    std::vector<PairedNote> notes;
    for (std::size_t i = 0; i < list.size(); ++i) {
        for (std::size_t j = i + 1; list[i].velocity > 0 && j < list.size(); ++j) {
            if (list[j].velocity == 0 && list[j].key == list[i].key) {
                notes.push_back({list[i].key, list[i].velocity, list[i].timeMs, list[j].timeMs - list[i].timeMs});
                break;
            }
        }
    }
    return notes;
}

TEST(NotePairing, EachNoteOnEndsAtTheFirstLaterNoteOffOfItsKey)
{
    const std::vector<std::pair<std::vector<NoteListEntry>, std::vector<PairedNote>>> cases{
        // an unmatched note-on is dropped; the earlier note-off of 62 ends nothing
        {{{60, 90, 510}, {62, 0, 600}, {62, 80, 900}, {61, 0, 1000}, {62, 0, 1333}}, {{62, 80, 900, 433}}},
        // two note-ons end at one note-off, in note-on order
        {{{60, 90, 510}, {60, 40, 620}, {60, 0, 1001}}, {{60, 90, 510, 491}, {60, 40, 620, 381}}},
        // negative velocities neither start nor end; keys beyond a byte pair too
        {{{64, -1, 500}, {300, 70, 600}, {300, -1, 650}, {300, 0, 701}}, {{300, 70, 600, 101}}},
    };
    for (const auto& [list, pairs] : cases) {
        EXPECT_EQ(pairNotes(list), pairs);
    }
}

TEST(NotePairing, LinearPairingEqualsTheLiteralForwardSearchOnGeneratedLists)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 400; ++round) {
        // Few keys and many releases make repeated note-ons and shared note-offs common.
        std::uniform_int_distribution<int> key(58, 59 + round % 6);
        std::uniform_int_distribution<int> velocity(-1, 4);
        std::uniform_int_distribution<int> step(-20, 300);  // times may go back after a tempo change
        std::vector<NoteListEntry> list(static_cast<std::size_t>(round));
        std::int32_t time = 500;
        for (NoteListEntry& entry : list) {
            const int v = velocity(random);
            entry = {key(random), v <= 1 ? v : v * 31, time += step(random)};
        }
        ASSERT_EQ(pairNotes(list), literalPairs(list)) << "round " << round;
    }
}

TEST(KeyWeights, SumVelocityTimesLengthPerKeyScaledByTheLargestButAtLeastOne)
{
    const KeyWeights song = keyWeights({{60, 100, 500, 250}, {61, 3, 900, 7}, {60, 50, 800, 3}, {200, 9, 1, 9}});
    EXPECT_EQ(song.weight[60], 25150.0);
    EXPECT_EQ(song.weight[61], 21.0);
    EXPECT_EQ(song.scale, 25150.0);
    const KeyWeights silent = keyWeights({{60, 100, 500, 0}, {61, 3, 900, -7}});
    EXPECT_EQ(silent.weight[61], -21.0);
    EXPECT_EQ(silent.scale, 1.0);
}

TEST(NoteDuty, OnTimeIsASixteenthOfThePeriodButAtMostOneHundredMicroseconds)
{
    const double period75 = 1e6 / (440.0 * std::exp2(6.0 / 12.0));  // 622 Hz, the highest key clamped
    const std::vector<std::tuple<int, int, double>> rows{
        {57, 64, 0.011},                  // 220 Hz: 0.5 x 100 / 4545.45
        {93, 100, 100.0 / 128.0 / 16.0},  // 1760 Hz: not clamped
        {75, 128, 100.0 / period75},
        {76, 96, 96.0 / 128.0 / 16.0},    // 659 Hz: the lowest key not clamped
        {0, 0, 0.0},
    };
    for (const auto& [key, velocity, duty] : rows) {
        EXPECT_NEAR(noteDuty(key, velocity), duty, 1e-15) << "key " << key;
    }
}

TEST(DutyPoints, TwoVoicesSoundAndEachNoteOffOrCountedNoteOnWritesOnePoint)
{
    const double a = noteDuty(60, 100);
    const double b = noteDuty(64, 90);
    const double c = noteDuty(67, 80);
    const std::vector<std::pair<std::vector<NoteListEntry>, std::vector<DutyPoint>>> cases{
        // keys 35 and 94 are skipped, 36 and 93 count
        {{{35, 100, 510}, {36, 100, 520}, {93, 50, 530}, {94, 100, 540}},
         {{520, noteDuty(36, 100)}, {530, noteDuty(36, 100) + noteDuty(93, 50)}}},
        // a third note drops the one held longest; a note-off of neither voice keeps the total
        {{{60, 100, 500}, {64, 90, 600}, {67, 80, 700}, {60, 0, 750}, {64, 0, 800}},
         {{500, a}, {600, a + b}, {700, b + c}, {750, b + c}, {800, c}}},
        // one release per note-off, the first voice first
        {{{60, 100, 500}, {60, 90, 600}, {60, 0, 700}, {60, 0, 800}}, {{500, a}, {600, a + noteDuty(60, 90)}, {700, noteDuty(60, 90)}, {800, 0.0}}},
    };
    for (const auto& [list, points] : cases) {
        EXPECT_EQ(dutyPoints(list), points);
    }
}

// The coil model counts key 96 after the curve (100 sent as 50, 50 / 2048),
// and a cut at 500 + 300 falls between two entries, none after the last.
TEST(CoilDutyPoints, EveryKeyAfterTheCurveAndTheLimitsWithCutsWhereTheyFall)
{
    PlaybackOptions options;
    options.customCurve = 1;
    options.curveLoaded = 1;
    options.velocityCurve[100] = 50;
    options.coilLimits.maxNoteMs = 300;
    CoilLimitCounts counts;
    EXPECT_EQ(coilDutyPoints({{96, 100, 500}, {64, 90, 900}, {64, 0, 1000}}, options, &counts),
              (std::vector<DutyPoint>{{500, 50.0 / 2048}, {800, 0.0}, {900, noteDuty(64, 90)},
                                      {1000, 0.0}}));
    EXPECT_EQ(counts, (CoilLimitCounts{0, 0, 1}));
    // Summed as they come, the cut's point included, with the same counts.
    CoilLimitCounts streamed;
    const DutySummary sum = coilDutySummary({{96, 100, 500}, {64, 90, 900}, {64, 0, 1000}}, options, &streamed);
    EXPECT_EQ(std::tuple(sum.peak, sum.peakMs, sum.mean),
              std::tuple(50.0 / 2048, 500, (50.0 / 2048 * 300.0 + noteDuty(64, 90) * 100.0) / 500.0));
    EXPECT_EQ(streamed, counts);
}

TEST(DutySummary, PeakIsTheFirstHighestPointAndTheMeanHoldsEachDutyUntilTheNextPoint)
{
    const DutySummary song = summarizeDuty({{500, 0.01}, {800, 0.03}, {900, 0.03}, {1300, 0.0}});
    EXPECT_EQ(song.peak, 0.03);
    EXPECT_EQ(song.peakMs, 800);
    EXPECT_NEAR(song.mean, 0.0225, 1e-17);  // (0.01 x 300 + 0.03 x 500) / 800
    for (const std::vector<DutyPoint>& points : {std::vector<DutyPoint>{{700, 0.02}}, {{700, 0.02}, {700, 0.0}}}) {
        const DutySummary brief = summarizeDuty(points);
        EXPECT_EQ(brief.peak, 0.02);
        EXPECT_EQ(brief.peakMs, 700);
        EXPECT_EQ(brief.mean, 0.0) << "no time between the first and last point";
    }
}

}  // namespace
