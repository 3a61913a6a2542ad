#include "fixed/FixedModeEngine.h"
#include "fixed/FixedTone.h"
#include "fixed/TypedNumber.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace {

struct FrequencyCase {
    int key;
    int hertz;
};

class FrequencyForKey : public testing::TestWithParam<FrequencyCase> {};

TEST_P(FrequencyForKey, RoundsTheEqualTemperedPitch)
{
    EXPECT_EQ(frequencyForKey(GetParam().key), GetParam().hertz);
}

INSTANTIATE_TEST_SUITE_P(Keys, FrequencyForKey,
                         testing::Values(FrequencyCase{40, 82}, FrequencyCase{45, 110}, FrequencyCase{57, 220},
                                         FrequencyCase{64, 330}, FrequencyCase{65, 349}, FrequencyCase{69, 440},
                                         FrequencyCase{80, 831}));

TEST(FixedTone, FrequencyRisesWithEveryKeyOfTheSlider)
{
    for (int key = kFixedKeyLowest + 1; key <= kFixedKeyHighest; ++key) {
        EXPECT_GT(frequencyForKey(key), frequencyForKey(key - 1)) << "key " << key;
    }
}

struct StatusCase {
    int key;
    int power;
    const char* text;
};

class FixedModeStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(FixedModeStatus, ShowsHertzAndDutyCycleWithOneDecimal)
{
    EXPECT_EQ(fixedModeStatusText(GetParam().key, GetParam().power), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, FixedModeStatus,
    testing::Values(StatusCase{64, 127, "Frequency: 330 Hz Duty Cycle: 6.8"},
                    StatusCase{64, 64, "Frequency: 330 Hz Duty Cycle: 3.4"},
                    StatusCase{65, 31, "Frequency: 349 Hz Duty Cycle: 1.6"},
                    StatusCase{40, 0, "Frequency: 82 Hz Duty Cycle: 0.0"},
                    StatusCase{80, 1, "Frequency: 831 Hz Duty Cycle: 0.1"}));

// 100 Hz lies 13.65 keys under key 57 (220 Hz), nearest key 43; 261.6 Hz
// 3.0 over, key 60.
TEST(FixedTone, ATypedFrequencyOrKeyNameGoesToTheNearestKeyOfTheSlider)
{
    const std::tuple<const char*, std::optional<int>> rows[] = {
        {"440", 69}, {" 261.6 Hz ", 60}, {"100hz", 43}, {"a4", 69}, {"C#5", 73}, {"Db3", 49}, {"20", 40},
        {"9000", 80}, {"C9", 80}, {"A", std::nullopt}, {"", std::nullopt}, {"H4", std::nullopt},
        {"inf", std::nullopt}, {"-440", std::nullopt}, {"440 Hz E4", std::nullopt}};
    for (const auto& [text, key] : rows) {
        EXPECT_EQ(typedFrequencyKey(text), key) << '"' << text << '"';
    }
    EXPECT_EQ(fixedFrequencyText(61), "277 Hz C#4");
}

struct NumberCase {
    const char* text;
    int value;
};

class TypedNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(TypedNumber, TakesDigitsAsTypedAndAnythingElseAsZero)
{
    EXPECT_EQ(typedNumber(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, TypedNumber,
                         testing::Values(NumberCase{"3", 3}, NumberCase{"50", 50}, NumberCase{"  7 ", 7},
                                         NumberCase{"0015", 15}, NumberCase{"200", 200}, NumberCase{"", 0},
                                         NumberCase{"abc", 0}, NumberCase{"12x", 0}, NumberCase{"-1", 0},
                                         NumberCase{"+4", 0}, NumberCase{"1 2", 0},
                                         NumberCase{"2147483647", 2147483647}, NumberCase{"2147483648", 0}));

// What the engine produced, as one line per item.
class RecordingSink : public FixedModeSink {
public:
    void sendNoteOn(int channel, int key, int velocity) override
    {
        log.push_back("on " + std::to_string(channel) + " " + std::to_string(key) + " " + std::to_string(velocity));
    }
    void sendControlChange(int channel, int controller, int value) override
    {
        log.push_back("cc " + std::to_string(channel) + " " + std::to_string(controller) + " " +
                      std::to_string(value));
    }
    void silence(int channel) override { log.push_back("silence " + std::to_string(channel)); }
    void statusText(const std::string& text) override { log.push_back(text); }

    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST(FixedModeEngine, UnchangedPositionsSendNothing)
{
    RecordingSink sink;
    FixedModeEngine engine(sink);
    engine.start(64, 31);
    sink.log.clear();
    engine.update(64, 31);
    EXPECT_TRUE(sink.log.empty());
}

TEST(FixedModeEngine, BothSlidersMovedInOnePassSendKeyThenPowerEachWithTheNewPositions)
{
    RecordingSink sink;
    FixedModeEngine engine(sink);
    engine.start(64, 31);
    sink.log.clear();
    engine.update(57, 127);
    EXPECT_EQ(sink.log, (Log{"on 0 64 0", "on 0 57 127", "Frequency: 220 Hz Duty Cycle: 6.8", "cc 0 7 127",
                             "Frequency: 220 Hz Duty Cycle: 6.8"}));
}

TEST(FixedModeEngine, StopSilencesTheChannel)
{
    RecordingSink sink;
    FixedModeEngine engine(sink);
    engine.start(70, 100);
    sink.log.clear();
    engine.stop();
    EXPECT_EQ(sink.log, (Log{"silence 0", "Exited Fixed Mode"}));
}

// Duty of the tone at velocity v: key 64 v / 128 x 100 / 3033.7 us (116 is the
// highest at or under 3 %), key 57 2.18 % at 127, key 80 v / 2048 (61). The
// figure shown is what is sent: power x 6.75 / 127 x v / 127 once a limit
// lowers v (31: 0.79, 64: 1.63), the power's alone when none does.
TEST(FixedModeEngine, CoilLimitsLowerTheToneOrRefuseIt)
{
    const std::string refused = "Coil limits: 494 Hz (key 71) is outside the coil's keys 50..70";
    const std::string noFit = "Coil limits: 330 Hz does not fit under the duty limit of 0.01 %";
    const std::vector<std::tuple<CoilLimits, std::vector<std::pair<int, int>>, Log>> rows{
        {{3.0, {}, {}, {}}, {{64, 31}, {57, 31}, {80, 31}, {80, 64}},
         {"on 0 64 116", "cc 0 7 31", "on 0 64 0", "on 0 57 127", "Frequency: 220 Hz Duty Cycle: 1.6", "on 0 57 0",
          "on 0 80 61", "Frequency: 831 Hz Duty Cycle: 0.8 (coil limits: velocity 61)", "cc 0 7 64",
          "Frequency: 831 Hz Duty Cycle: 1.6 (coil limits: velocity 61)"}},
        {{0.01, {}, {}, {}}, {{64, 31}, {64, 64}}, {"cc 0 7 31", noFit, "cc 0 7 64", noFit}},
        {{{}, {}, 50, 70}, {{64, 31}, {71, 31}, {71, 20}, {70, 20}},
         {"on 0 64 127", "cc 0 7 31", "on 0 64 0", refused, "cc 0 7 20", refused, "on 0 71 0", "on 0 70 127",
          "Frequency: 466 Hz Duty Cycle: 1.1"}},
    };
    for (const auto& [limits, moves, log] : rows) {
        RecordingSink sink;
        FixedModeEngine engine(sink, limits);
        engine.start(moves.front().first, moves.front().second);
        for (std::size_t i = 1; i < moves.size(); ++i) {
            engine.update(moves[i].first, moves[i].second);
        }
        EXPECT_EQ(sink.log, log);
    }
}

// The tone is cut at exactly the maximum note length, on a clock that wraps;
// asked, it sounds again and is cut again as long after, and it sounds again
// when the frequency moves; without the limit no cut comes and "again" leaves
// the sounding tone alone.
TEST(FixedModeEngine, MaximumNoteLengthCutsTheToneOnce)
{
    const std::uint32_t start = 0xFFFFFC00U;  // 1024 ms before the clock wraps
    for (const std::optional<std::int32_t> maxNoteMs : {std::optional<std::int32_t>(1500), std::optional<std::int32_t>()}) {
        RecordingSink sink;
        FixedModeEngine engine(sink, CoilLimits{{}, maxNoteMs, {}, {}});
        engine.start(64, 31, start);
        EXPECT_EQ(engine.nextCutAt(start + 10), maxNoteMs ? std::optional<std::uint32_t>(start + 1500) : std::nullopt);
        EXPECT_FALSE(engine.cutIfDue(start + 1499));
        EXPECT_EQ(engine.cutIfDue(start + 1500), maxNoteMs.has_value());
        EXPECT_FALSE(engine.cutIfDue(start + 3100));
        EXPECT_EQ(engine.soundingVelocity(), maxNoteMs ? std::nullopt : std::optional(127));
        EXPECT_EQ(engine.soundAgain(start + 3100), maxNoteMs.has_value());
        EXPECT_EQ(engine.soundingVelocity(), 127);
        EXPECT_FALSE(engine.cutIfDue(start + 4599));
        EXPECT_EQ(engine.cutIfDue(start + 4600), maxNoteMs.has_value());
        engine.update(57, 31, start + 4700);
        const Log cut{"on 0 64 127", "cc 0 7 31", "on 0 64 0", "Coil limits: 330 Hz cut after 1500 ms", "on 0 64 127",
                      "Frequency: 330 Hz Duty Cycle: 1.6", "on 0 64 0", "Coil limits: 330 Hz cut after 1500 ms",
                      "on 0 64 0", "on 0 57 127", "Frequency: 220 Hz Duty Cycle: 1.6"};
        const Log held{"on 0 64 127", "cc 0 7 31", "on 0 64 0", "on 0 57 127", "Frequency: 220 Hz Duty Cycle: 1.6"};
        EXPECT_EQ(sink.log, maxNoteMs ? cut : held);
    }
}

}  // namespace
