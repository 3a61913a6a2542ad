#include "coilmodel/CoilLimiter.h"
#include "midiout/ShortMessage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

constexpr std::uint32_t kT0 = 0xFFFFFC00U;  // the counter wraps during each row

// A script of steps at kT0 + T ms: "T+K/V" a note-on, "Tx" all-sound-off,
// "Tc" a look for a due cut. Each step writes "K/V" sent, "-" dropped, "cK"
// a cut, "wT" the next cut due at kT0 + T or "w-" none.
std::string run(CoilLimiter& limiter, const std::string& script)
{
    std::istringstream in(script);
    std::string out;
    for (std::string step; in >> step;) {
        unsigned t = 0;
        char op = 0;
        int key = 0;
        int velocity = 0;
        std::sscanf(step.c_str(), "%u%c%d/%d", &t, &op, &key, &velocity);
        if (op == '+') {
            const auto sent = limiter.noteOn(key, velocity, kT0 + t);
            out += (sent ? std::to_string(key) + "/" + std::to_string(*sent) : "-") + " ";
            continue;
        }
        if (op == 'x') {
            limiter.controlChange(kAllSoundOff);
        }
        const auto cut = op == 'c' ? limiter.takeDueCut(kT0 + t) : std::nullopt;
        const auto at = limiter.nextCutAt(kT0 + t);
        out += (cut ? "c" + std::to_string(*cut) : at ? "w" + std::to_string(*at - kT0) : "w-") + " ";
    }
    return out;
}

struct LimiterRow {
    const char* name;
    CoilLimits limits;
    const char* script;
    const char* out;
    CoilLimitCounts counts;
};

class CoilLimiterTest : public testing::TestWithParam<LimiterRow> {};

TEST_P(CoilLimiterTest, SendsWhatTheLimitsLeave)
{
    CoilLimiter limiter(GetParam().limits);
    EXPECT_EQ(run(limiter, GetParam().script), GetParam().out);
    EXPECT_EQ(limiter.counts(), GetParam().counts);
}

// Keys from 76 up weigh velocity / 2048: 96 at 64 and 100 at 100 make 164 / 2048 = 8.0078125 %.
INSTANTIATE_TEST_SUITE_P(
    Rows, CoilLimiterTest,
    testing::Values(
        LimiterRow{"NoLimitPassesEverything", {}, "0+96/127 1+100/-56 2+130/90 3+96/0 9000c", "96/127 100/-56 130/90 96/0 w- ", {}},
        LimiterRow{"ExactlyAtTheLimitIsUnchanged", CoilLimits{8.0078125, {}, {}, {}}, "0+96/64 5+100/100", "96/64 100/100 ", {}},
        LimiterRow{"JustOverTakesTheHighestThatFits", CoilLimits{8.0, {}, {}, {}}, "0+96/64 5+100/100", "96/64 100/99 ", {1, 0, 0}},
        // 65 / 2048 = 3.17 % fits, 66 / 2048 = 3.22 % does not.
        LimiterRow{"OnlyVelocityOneFits", CoilLimits{3.2, {}, {}, {}}, "0+96/64 5+100/100", "96/64 100/1 ", {1, 0, 0}},
        LimiterRow{"NothingFitsDropsTheNote", CoilLimits{3.15, {}, {}, {}}, "0+96/64 5+100/100", "96/64 - ", {0, 1, 0}},
        // The third note drops the oldest: 64 + 100 is counted, not 64 + 64 + 100;
        // after 100's note-off, 84 and the new 90: (100 + 65) / 2048 <= 8.1 %.
        LimiterRow{"ThirdNoteReplacesTheOldestVoice", CoilLimits{8.1, {}, {}, {}}, "0+96/64 1+100/64 2+84/100 3+100/0 4+90/127",
                   "96/64 100/64 84/100 100/0 90/65 ", {1, 0, 0}},
        LimiterRow{"KeysAtEachEndOfTheRangePass", CoilLimits{{}, {}, 40, 80}, "0+39/90 1+40/90 2+80/90 3+81/90 4+81/0",
                   "- 40/90 80/90 - 81/0 ", {0, 2, 0}},
        // 60 struck at 100 and again at 700 has sounded since 100: cut at exactly
        // 100 + 1500; 72's note-off ends its watch; a note-off after a cut passes.
        LimiterRow{"CutAtExactlyTheMaximumLength", CoilLimits{{}, 1500, {}, {}},
                   "100+60/90 700+60/90 900+72/90 1599c 1600c 1601+72/0 2400c 2500+60/0",
                   "60/90 60/90 72/90 w1600 c60 72/0 w- 60/0 ", {0, 0, 1}},
        LimiterRow{"AllSoundOffEndsEveryWatchAndTheEstimate", CoilLimits{5.0, 1500, {}, {}},
                   "100+96/64 200+100/64 300x 400+96/100 1600c", "96/64 100/38 w- 96/100 w1900 ", {1, 0, 0}}),
    [](const testing::TestParamInfo<LimiterRow>& row) { return std::string(row.param.name); });

}  // namespace
