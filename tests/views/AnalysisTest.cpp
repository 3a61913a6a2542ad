#include "views/Analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

void PrintTo(const PairedNote& n, std::ostream* out)
{
    *out << "{key " << n.key << ", vel " << n.velocity << ", start " << n.start << ", len " << n.length << "}";
}

void PrintTo(const DutyPoint& p, std::ostream* out) { *out << "{" << p.timeMs << " ms, " << p.duty << "}"; }

namespace {

// The forward search as first written: for each note-on, the first later
// note-off of its key.
std::vector<PairedNote> literalPairs(const std::vector<NoteListEntry>& list)
{
    std::vector<PairedNote> notes;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].velocity <= 0) {
            continue;
        }
        for (std::size_t j = i + 1; j < list.size(); ++j) {
            if (list[j].velocity == 0 && list[j].key == list[i].key) {
                notes.push_back({list[i].key, list[i].velocity, list[i].timeMs, list[j].timeMs - list[i].timeMs});
                break;
            }
        }
    }
    return notes;
}

struct PairingCase {
    const char* name;
    std::vector<NoteListEntry> list;
    std::vector<PairedNote> pairs;
};

TEST(NotePairing, MatchesEachNoteOnWithTheFirstLaterNoteOffOfItsKey)
{
    const std::vector<PairingCase> cases{
        {"an unmatched note-on is dropped", {{60, 90, 510}, {61, 0, 700}, {62, 80, 900}, {62, 0, 1333}},
         {{62, 80, 900, 433}}},
        {"two note-ons end at one note-off", {{60, 90, 510}, {60, 40, 620}, {60, 0, 1001}},
         {{60, 90, 510, 491}, {60, 40, 620, 381}}},
        {"a note-off before the note-on does not end it", {{64, 0, 500}, {64, 70, 600}, {64, 0, 777}},
         {{64, 70, 600, 177}}},
        {"negative velocities neither start nor end", {{64, -1, 500}, {64, 70, 600}, {64, -1, 650}, {64, 0, 701}},
         {{64, 70, 600, 101}}},
        {"pairs come in note-on order, not note-off order", {{50, 10, 500}, {51, 20, 550}, {51, 0, 560}, {50, 0, 999}},
         {{50, 10, 500, 499}, {51, 20, 550, 10}}},
        {"a time that went backwards gives a negative length", {{70, 33, 1500}, {70, 0, 1250}},
         {{70, 33, 1500, -250}}},
        {"keys beyond a byte pair too", {{-3, 5, 500}, {300, 6, 501}, {300, 0, 502}, {-3, 0, 510}},
         {{-3, 5, 500, 10}, {300, 6, 501, 1}}},
    };
    for (const PairingCase& c : cases) {
        EXPECT_EQ(pairNotes(c.list), c.pairs) << c.name;
    }
}

TEST(NotePairing, LinearPairingEqualsTheLiteralForwardSearchOnGeneratedLists)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 400; ++round) {
        // Few keys and many releases make repeated note-ons and shared note-offs common.
        const int keys = 1 + round % 6;
        std::uniform_int_distribution<int> key(58, 58 + keys);
        std::uniform_int_distribution<int> velocity(-1, 4);
        std::uniform_int_distribution<int> step(-20, 300);
        std::vector<NoteListEntry> list(static_cast<std::size_t>(round));
        std::int32_t time = 500;
        for (NoteListEntry& entry : list) {
            time += step(random);
            const int v = velocity(random);
            entry = {key(random), v <= 1 ? v : v * 31, time};
        }
        ASSERT_EQ(pairNotes(list), literalPairs(list)) << "round " << round;
    }
}

TEST(KeyWeights, SumVelocityTimesLengthPerKeyAndScaleByTheLargestButAtLeastOne)
{
    const KeyWeights song = keyWeights({{60, 100, 500, 250}, {61, 3, 900, 7}, {60, 50, 800, 3}, {127, 1, 1, 2}, {200, 9, 1, 9}});
    EXPECT_EQ(song.weight[60], 25150.0);
    EXPECT_EQ(song.weight[61], 21.0);
    EXPECT_EQ(song.weight[127], 2.0);
    EXPECT_EQ(song.weight[0], 0.0);
    EXPECT_EQ(song.scale, 25150.0);

    const KeyWeights silent = keyWeights({{60, 100, 500, 0}, {61, 3, 900, -7}});
    EXPECT_EQ(silent.weight[61], -21.0);
    EXPECT_EQ(silent.scale, 1.0);
    EXPECT_EQ(keyWeights({{0, 127, 500, 1000}}).scale, 127000.0) << "key 0 is weighed though never drawn";
}

// The duty from the note's frequency, written independently of noteDuty.
double expectedDuty(int key, int velocity)
{
    const double frequency = 440.0 * std::exp2((key - 69) / 12.0);
    const double period = 1e6 / frequency;
    return velocity / 128.0 * std::min(period / 16.0, 100.0) / period;
}

TEST(NoteDuty, OnTimeIsASixteenthOfThePeriodButAtMostOneHundredMicroseconds)
{
    struct Row {
        int key;
        int velocity;
        double duty;
    };
    const std::vector<Row> rows{
        {57, 64, 0.011},                       // 220 Hz: clamped, 0.5 x 100 / 4545.45
        {93, 100, 100.0 / 128.0 / 16.0},       // 1760 Hz: not clamped
        {75, 128, expectedDuty(75, 128)},      // 622 Hz, the last key still clamped
        {76, 96, 96.0 / 128.0 / 16.0},         // 659 Hz, the first one not
        {36, 33, expectedDuty(36, 33)},
        {0, 0, 0.0},
    };
    for (const Row& row : rows) {
        EXPECT_NEAR(noteDuty(row.key, row.velocity), row.duty, 1e-15) << "key " << row.key;
    }
    EXPECT_GT(noteDuty(75, 128), 0.0622) << "clamped: 100 / 1607 us";
    EXPECT_LT(noteDuty(75, 128), 0.0623);
}

struct DutyCase {
    const char* name;
    std::vector<NoteListEntry> list;
    std::vector<DutyPoint> points;
};

TEST(DutyPoints, TwoVoicesSoundAndEachNoteOffOrCountedNoteOnWritesOnePoint)
{
    const double a = noteDuty(60, 100);
    const double b = noteDuty(64, 90);
    const double c = noteDuty(67, 80);  // the three voices' duties
    const std::vector<DutyCase> cases{
        {"keys 35 and 94 are skipped, 36 and 93 count",
         {{35, 100, 510}, {36, 100, 520}, {93, 50, 530}, {94, 100, 540}},
         {{520, noteDuty(36, 100)}, {530, noteDuty(36, 100) + noteDuty(93, 50)}}},
        {"a third voice drops the note held longest",
         {{60, 100, 500}, {64, 90, 600}, {67, 80, 700}, {64, 0, 800}, {67, 0, 900}},
         {{500, a}, {600, a + b}, {700, b + c}, {800, c}, {900, 0.0}}},
        {"a note-off matching neither voice keeps the total",
         {{60, 100, 500}, {64, 90, 600}, {50, 0, 650}, {35, 0, 660}},
         {{500, a}, {600, a + b}, {650, a + b}, {660, a + b}}},
        {"one release per note-off, the first voice first",
         {{60, 100, 500}, {60, 90, 600}, {60, 0, 700}, {60, 0, 800}},
         {{500, a}, {600, a + noteDuty(60, 90)}, {700, noteDuty(60, 90)}, {800, 0.0}}},
        {"a freed first voice is taken over from the second",
         {{60, 100, 500}, {64, 90, 600}, {60, 0, 700}, {67, 80, 750}},
         {{500, a}, {600, a + b}, {700, b}, {750, b + c}}},
    };
    for (const DutyCase& row : cases) {
        EXPECT_EQ(dutyPoints(row.list), row.points) << row.name;
    }
}

}  // namespace

namespace {

TEST(DutySummary, PeakIsTheFirstHighestPointAndTheMeanHoldsEachDutyUntilTheNextPoint)
{
    const DutySummary song = summarizeDuty({{500, 0.01}, {800, 0.03}, {900, 0.03}, {1300, 0.0}});
    EXPECT_EQ(song.peak, 0.03);
    EXPECT_EQ(song.peakMs, 800);
    EXPECT_NEAR(song.mean, (0.01 * 300 + 0.03 * 100 + 0.03 * 400) / 800, 1e-17);  // 0.0225

    const DutySummary single = summarizeDuty({{700, 0.02}});
    EXPECT_EQ(single.peak, 0.02);
    EXPECT_EQ(single.peakMs, 700);
    EXPECT_EQ(single.mean, 0.0) << "fewer than two points";

    const DutySummary instant = summarizeDuty({{700, 0.02}, {700, 0.04}});
    EXPECT_EQ(instant.peakMs, 700);
    EXPECT_EQ(instant.peak, 0.04);
    EXPECT_EQ(instant.mean, 0.0) << "no time between the first and last point";

    const DutySummary none = summarizeDuty({});
    EXPECT_EQ(none.peak, 0.0);
    EXPECT_EQ(none.peakMs, 0);
    EXPECT_EQ(none.mean, 0.0);
}

}  // namespace
