#include "midiout/ShortMessage.h"
#include "playback/CoilLimiter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Keys from 76 up have a pulse of period / 16, so a note's duty there is
// exactly velocity / 2048 (64 is 3.125 %, 100 is 4.8828125 %).
constexpr std::uint32_t kT0 = 0xFFFFFC00U;  // the counter wraps during each row

enum class Step { NoteOn, SoundOff, Cut };
struct Action {
    Step step;
    std::uint32_t atMs;  // after kT0
    int key = 0;
    int velocity = 0;
};

struct LimiterRow {
    const char* name;
    CoilLimits limits;
    std::vector<Action> actions;
    // "on K V" for a note-on sent, "drop", "cut K", "wait T" (next cut, after kT0), "none".
    std::vector<std::string> out;
    CoilLimitCounts counts;
};

std::string nextCut(const CoilLimiter& limiter, std::uint32_t now)
{
    const auto at = limiter.nextCutAt(now);
    return at ? "wait " + std::to_string(*at - kT0) : "none";
}

std::vector<std::string> run(CoilLimiter& limiter, const std::vector<Action>& actions)
{
    std::vector<std::string> out;
    for (const Action& a : actions) {
        const std::uint32_t now = kT0 + a.atMs;
        if (a.step == Step::NoteOn) {
            const auto sent = limiter.noteOn(a.key, a.velocity, now);
            out.push_back(sent ? "on " + std::to_string(a.key) + " " + std::to_string(*sent) : "drop");
        } else if (a.step == Step::SoundOff) {
            limiter.controlChange(kAllSoundOff);
            out.push_back(nextCut(limiter, now));
        } else {
            const auto key = limiter.takeDueCut(now);
            out.push_back(key ? "cut " + std::to_string(*key) : nextCut(limiter, now));
        }
    }
    return out;
}

CoilLimits duty(double percent)
{
    CoilLimits limits;
    limits.dutyLimitPercent = percent;
    return limits;
}

CoilLimits keys(std::optional<int> lowest, std::optional<int> highest)
{
    CoilLimits limits;
    limits.lowestKey = lowest;
    limits.highestKey = highest;
    return limits;
}

CoilLimits longest(int ms)
{
    CoilLimits limits;
    limits.maxNoteMs = ms;
    return limits;
}

class CoilLimiterTest : public testing::TestWithParam<LimiterRow> {};

TEST_P(CoilLimiterTest, SendsWhatTheLimitsLeave)
{
    CoilLimiter limiter(GetParam().limits);
    EXPECT_EQ(run(limiter, GetParam().actions), GetParam().out);
    EXPECT_EQ(limiter.counts(), GetParam().counts);
}

// 96 at 64 sounds; then 100 at 100 would make 164 / 2048 = 8.0078125 %.
const std::vector<Action> kSecondNote{{Step::NoteOn, 0, 96, 64}, {Step::NoteOn, 5, 100, 100}};

INSTANTIATE_TEST_SUITE_P(
    Rows, CoilLimiterTest,
    testing::Values(
        LimiterRow{"NoLimitPassesEverything", {},
                   {{Step::NoteOn, 0, 96, 127}, {Step::NoteOn, 1, 100, -56}, {Step::NoteOn, 2, 130, 90},
                    {Step::NoteOn, 3, 96, 0}, {Step::Cut, 9000}},
                   {"on 96 127", "on 100 -56", "on 130 90", "on 96 0", "none"}, {}},
        LimiterRow{"NoteExactlyAtTheLimitIsUnchanged", duty(8.0078125), kSecondNote, {"on 96 64", "on 100 100"}, {}},
        LimiterRow{"JustOverTakesTheHighestThatFits", duty(8.0), kSecondNote, {"on 96 64", "on 100 99"}, {1, 0, 0}},
        // 65 / 2048 = 3.17 % fits, 66 / 2048 = 3.22 % does not.
        LimiterRow{"OnlyVelocityOneFits", duty(3.2), kSecondNote, {"on 96 64", "on 100 1"}, {1, 0, 0}},
        LimiterRow{"NothingFitsDropsTheNote", duty(3.15), kSecondNote, {"on 96 64", "drop"}, {0, 1, 0}},
        // Two voices: the third note drops the one held longest, so 64 + 100 is
        // counted, not 64 + 64 + 100; after 100's note-off, 84 and the new
        // note are: (100 + 65) / 2048 is at most 8.1 %.
        LimiterRow{"ThirdNoteReplacesTheOldestVoice", duty(8.1),
                   {{Step::NoteOn, 0, 96, 64}, {Step::NoteOn, 1, 100, 64}, {Step::NoteOn, 2, 84, 100},
                    {Step::NoteOn, 3, 100, 0}, {Step::NoteOn, 4, 90, 127}},
                   {"on 96 64", "on 100 64", "on 84 100", "on 100 0", "on 90 65"}, {1, 0, 0}},
        LimiterRow{"KeysAtEachEndOfTheRangePass", keys(40, 80),
                   {{Step::NoteOn, 0, 39, 90}, {Step::NoteOn, 1, 40, 90}, {Step::NoteOn, 2, 80, 90},
                    {Step::NoteOn, 3, 81, 90}, {Step::NoteOn, 4, 81, 0}},
                   {"drop", "on 40 90", "on 80 90", "drop", "on 81 0"}, {0, 2, 0}},
        LimiterRow{"LowestKeyOnly", keys(40, std::nullopt),
                   {{Step::NoteOn, 0, 39, 90}, {Step::NoteOn, 1, 127, 90}}, {"drop", "on 127 90"}, {0, 1, 0}},
        LimiterRow{"HighestKeyOnly", keys(std::nullopt, 80),
                   {{Step::NoteOn, 0, 0, 90}, {Step::NoteOn, 1, 81, 90}}, {"on 0 90", "drop"}, {0, 1, 0}},
        // Struck at 100 and again at 700 without a note-off: it has sounded
        // since 100, so the cut falls at exactly 100 + 1500, and the key's own
        // note-off after it passes.
        LimiterRow{"CutAtExactlyTheMaximumLength", longest(1500),
                   {{Step::NoteOn, 100, 60, 90}, {Step::NoteOn, 700, 60, 90}, {Step::NoteOn, 900, 72, 90},
                    {Step::Cut, 1599}, {Step::Cut, 1600}, {Step::Cut, 1600}, {Step::Cut, 2400},
                    {Step::NoteOn, 2500, 60, 0}},
                   {"on 60 90", "on 60 90", "on 72 90", "wait 1600", "cut 60", "wait 2400", "cut 72", "on 60 0"},
                   {0, 0, 2}},
        LimiterRow{"NoteOffEndsTheWatch", longest(1500),
                   {{Step::NoteOn, 100, 60, 90}, {Step::NoteOn, 200, 60, 0}, {Step::Cut, 1600}},
                   {"on 60 90", "on 60 0", "none"}, {}},
        LimiterRow{"AllSoundOffEndsEveryWatchAndTheEstimate", [] {
                       CoilLimits both = longest(1500);
                       both.dutyLimitPercent = 5.0;
                       return both;
                   }(),
                   {{Step::NoteOn, 100, 96, 64}, {Step::NoteOn, 200, 100, 64}, {Step::SoundOff, 300},
                    {Step::NoteOn, 400, 96, 100}, {Step::Cut, 1600}},
                   {"on 96 64", "on 100 38", "none", "on 96 100", "wait 1900"}, {1, 0, 0}}),
    [](const testing::TestParamInfo<LimiterRow>& row) { return std::string(row.param.name); });

TEST(CoilLimitsText, CountsEachAction)
{
    EXPECT_EQ(coilLimitsText({14, 2, 1}), "Coil limits: 14 notes softened, 2 dropped, 1 cut");
    EXPECT_EQ(coilLimitsText({1, 0, 3}), "Coil limits: 1 note softened, 0 dropped, 3 cut");
}

}  // namespace
