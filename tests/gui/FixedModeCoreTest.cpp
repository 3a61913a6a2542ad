#include "fixed/FixedModeControls.h"
#include "fixed/FixedModeEngine.h"
#include "fixed/FixedModeThread.h"
#include "fixed/FixedTone.h"
#include "fixed/TypedNumber.h"
#include "midiout/MidiOutPort.h"
#include "midiout/MidiOutput.h"
#include "midiout/VirtualMidiService.h"
#include "playback/AppState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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
    void statusText(const std::string& text) override { log.push_back(text); }

    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST(FixedModeEngine, StartSoundsTheKeyAndSetsThePowerWithoutAStatusText)
{
    RecordingSink sink;
    FixedModeEngine engine(sink);
    engine.start(64, 31);
    EXPECT_EQ(sink.log, (Log{"on 0 64 127", "cc 0 7 31"}));
    EXPECT_EQ(engine.key(), 64);
    EXPECT_EQ(engine.power(), 31);
}

TEST(FixedModeEngine, UnchangedPositionsSendNothing)
{
    RecordingSink sink;
    FixedModeEngine engine(sink);
    engine.start(64, 31);
    sink.log.clear();
    engine.update(64, 31);
    EXPECT_TRUE(sink.log.empty());
}

TEST(FixedModeEngine, NewKeyReleasesTheOldOneBeforeSoundingTheNewOne)
{
    RecordingSink sink;
    FixedModeEngine engine(sink);
    engine.start(64, 31);
    sink.log.clear();
    engine.update(65, 31);
    EXPECT_EQ(sink.log, (Log{"on 0 64 0", "on 0 65 127", "Frequency: 349 Hz Duty Cycle: 1.6"}));
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

TEST(FixedModeEngine, StopSilencesTheChannelWithoutANoteOff)
{
    RecordingSink sink;
    FixedModeEngine engine(sink);
    engine.start(70, 100);
    sink.log.clear();
    engine.stop();
    EXPECT_EQ(sink.log, (Log{"cc 0 120 0", "Exited Fixed Mode"}));
}

// Records the thread's reports and lets the test wait for them.
class WaitingObserver : public FixedModeObserver {
public:
    void statusText(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_statuses.push_back(text);
        m_changed.notify_all();
    }
    void showPositions(int key, int power) override
    {
        std::lock_guard lock(m_mutex);
        m_positions = {key, power};
        m_changed.notify_all();
    }
    // Waits up to five seconds for the `count`th status text.
    bool waitForStatuses(std::size_t count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_statuses.size() >= count; });
    }
    std::vector<std::string> statuses()
    {
        std::lock_guard lock(m_mutex);
        return m_statuses;
    }
    std::pair<int, int> positions()
    {
        std::lock_guard lock(m_mutex);
        return m_positions;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_statuses;
    std::pair<int, int> m_positions{-1, -1};
};

using Message = std::array<std::uint8_t, 3>;
using Messages = std::vector<Message>;

// Waits up to five seconds until `device` has received `count` messages.
bool waitForMessages(VirtualMidiService& service, int device, std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (service.messages(device).size() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(FixedModeThread, FollowsTheSlidersAndLeavesThePortOpen)
{
    auto service = std::make_shared<VirtualMidiService>(
        std::vector<std::string>{"Synth", "Synth 2", "Quillarc USB Controller"});
    ASSERT_TRUE(MidiOutPort::installService(service));
    {
        MidiOutput output;
        AppState state;
        state.controllerPort.store(2);
        state.volumePosition.store(64);
        FixedModeControls controls;
        controls.setRunning(true);
        WaitingObserver observer;

        std::thread thread(fixedModeThread, std::ref(controls), std::ref(state), std::ref(output), std::ref(observer));
        ASSERT_TRUE(waitForMessages(*service, 2, 2));
        EXPECT_EQ(observer.positions(), std::make_pair(64, 63));
        EXPECT_EQ(controls.powerPosition(), 63);

        controls.setFrequencyPosition(65);
        ASSERT_TRUE(observer.waitForStatuses(2));
        controls.setPowerPosition(0);
        ASSERT_TRUE(observer.waitForStatuses(3));
        controls.setRunning(false);
        thread.join();

        EXPECT_EQ(service->messages(2), (Messages{{0x90, 64, 127}, {0xB0, 7, 63}, {0x90, 64, 0}, {0x90, 65, 127},
                                                  {0xB0, 7, 0}, {0xB0, 120, 0}}));
        EXPECT_EQ(observer.statuses(),
                  (std::vector<std::string>{"Entering fixed mode", "Frequency: 349 Hz Duty Cycle: 3.3",
                                            "Frequency: 349 Hz Duty Cycle: 0.0", "Exited Fixed Mode"}));
        EXPECT_TRUE(service->messages(0).empty());
        EXPECT_TRUE(service->isDeviceOpen(2));
    }
    EXPECT_FALSE(service->isDeviceOpen(2)) << "the last output object closes every device";
}

TEST(FixedModeThread, ClearedBeforeTheFirstPassStillStartsAndSilencesTheToneOnce)
{
    auto service = std::make_shared<VirtualMidiService>(std::vector<std::string>{"Quillarc USB Controller"});
    ASSERT_TRUE(MidiOutPort::installService(service));
    MidiOutput output;
    AppState state;
    state.controllerPort.store(0);
    FixedModeControls controls;
    WaitingObserver observer;

    fixedModeThread(controls, state, output, observer);

    EXPECT_EQ(service->messages(0), (Messages{{0x90, 64, 127}, {0xB0, 7, 31}, {0xB0, 120, 0}}));
    EXPECT_EQ(observer.statuses(), (std::vector<std::string>{"Entering fixed mode", "Exited Fixed Mode"}));
}

}  // namespace
