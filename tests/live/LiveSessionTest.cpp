#include "live/LiveSession.h"
#include "midiout/VirtualDevices.h"
#include "playback/AppState.h"
#include "rig/RigFile.h"

#include <gtest/gtest.h>

namespace {

// What a keyboard played in one cycle, at frame 5, written to the devices.
class DeviceCycle final : public MidiInputCycle {
public:
    DeviceCycle(const std::vector<std::uint8_t>& bytes, VirtualMidiService& devices)
        : MidiInputCycle(7'000'123, 64, 48000), m_bytes(bytes), m_devices(devices)
    {
    }
    std::size_t eventCount() const noexcept override { return 1; }
    Event event(std::size_t) const noexcept override { return {m_bytes.data(), m_bytes.size(), 5}; }
    bool write(int target, const std::uint8_t* bytes, std::size_t length, std::uint32_t) noexcept override
    {
        return m_devices.send(target, bytes[0], length > 1 ? bytes[1] : 0, length > 2 ? bytes[2] : 0) == 0;
    }

private:
    const std::vector<std::uint8_t>& m_bytes;
    VirtualMidiService& m_devices;
};

// A keyboard that delivers on the caller's thread, or as a realtime input's
// cycle when `devices` is given.
class Keyboard final : public MidiInputService {
public:
    int deviceCount() override { return 1; }
    std::string productName(int) override { return "Keys"; }
    bool open(int, MidiInputSink& sink) override { return (m_sink = &sink) != nullptr; }
    void close(int) override { m_sink = nullptr; }
    bool connected(int) override { return true; }
    bool realtime(int) override { return m_devices != nullptr; }
    bool tellsOfChanges(int) override { return true; }
    void play(const std::vector<std::uint8_t>& bytes)
    {
        if (m_devices != nullptr) {
            DeviceCycle cycle(bytes, *m_devices);
            m_sink->cycle(cycle);
        } else {
            m_sink->received(bytes.data(), bytes.size());
        }
    }
    VirtualMidiService* m_devices = nullptr;

private:
    MidiInputSink* m_sink = nullptr;
};

class Statuses final : public LiveObserver {
public:
    void notePlayed(int, double) override {}
    void limitsActed(const CoilLimitCounts& counts) override { texts.push_back(coilLimitsText(counts)); }
    std::vector<std::string> texts;
};

struct WayOutRow {
    const char* name;
    std::vector<std::uint8_t> played;
    std::vector<Bytes> sent;  // after the channel volume
    CoilLimits limits = {};
    std::vector<std::string> statuses = {};  // at the end
};

class LiveSessionTest : public testing::TestWithParam<WayOutRow> {
protected:
    // Forwarded on the worker, or within the keyboard's cycle.
    void playAndStop(bool inCycle);
};

void LiveSessionTest::playAndStop(bool inCycle)
{
    const auto devices = installVirtualDevices({"Synth", "Quillarc USB Controller"});
    devices->setCycleTargets(true);
    AppState state;
    state.controllerPort.store(1);
    PlaybackOptions options;
    options.coilLimits = GetParam().limits;
    state.setOptions(options);
    Keyboard keyboard;
    keyboard.m_devices = inCycle ? devices.get() : nullptr;
    Statuses observer;
    LiveSession session(state, observer, keyboard, 0, LiveForwarder::kAllChannels);
    ASSERT_EQ(session.start(40), LiveSession::Start::Started);
    keyboard.play(GetParam().played);
    session.stop();
    EXPECT_EQ(session.run(), LiveEnd::Stopped);
    std::vector<Bytes> expected{{0xB0, 7, 40}};
    expected.insert(expected.end(), GetParam().sent.begin(), GetParam().sent.end());
    EXPECT_EQ(devices->messages(1), expected) << "in cycle: " << inCycle;
    EXPECT_EQ(observer.texts, GetParam().statuses);
}

TEST_P(LiveSessionTest, SilencingReleasesTheKeysTheKeyboardLeftSoundingAndTheLimitsAreReported)
{
    playAndStop(false);
    playAndStop(true);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LiveSessionTest,
    testing::Values(
        WayOutRow{"ClosingReleasesTheKeysStillDown",
                  {0x90, 0x3C, 0x64, 0x90, 0x40, 0x50, 0x80, 0x3C, 0x00},
                  {{0x90, 0x3C, 0x64}, {0x90, 0x40, 0x50}, {0x90, 0x3C, 0}, {0xB0, 120, 0}, {0x90, 0x40, 0}, {0xB0, 123, 0}}},
        // The keyboard's all-notes-off is the same silencing; closing finds nothing sounding.
        WayOutRow{"KeyboardPanicReleasesThemToo",
                  {0x91, 0x3E, 0x20, 0xB1, 0x7B, 0x00},
                  {{0x90, 0x3E, 0x20}, {0xB0, 120, 0}, {0x90, 0x3E, 0}, {0xB0, 123, 0}, {0xB0, 120, 0}, {0xB0, 123, 0}}},
        // Key 30 is below the coil's keys, 100 softened from 127 under 5 %.
        WayOutRow{"WhatTheLimitsDidIsReportedAtTheEnd",
                  {0x90, 0x1E, 0x40, 0x90, 0x64, 0x7F},
                  {{0x90, 0x64, 102}, {0xB0, 120, 0}, {0x90, 0x64, 0}, {0xB0, 123, 0}},
                  {5.0, {}, 40, {}},
                  {"Coil limits: 1 note softened, 1 dropped, 0 cut"}}),
    [](const testing::TestParamInfo<WayOutRow>& row) { return std::string(row.param.name); });

// A rig's coil that refuses a message ends live mode on every coil, named: at
// start (its share of the volume, 41 x 50 / 100) or mid-note (channel 1 is
// both coils': Lead sounds the key before Bass refuses it), sent from the
// worker or written within the keyboard's cycle.
TEST(LiveSessionRig, ACoilLostEndsLiveModeOnEveryCoilNamed)
{
    for (const auto& [midNote, inCycle] : {std::pair{false, false}, {true, false}, {true, true}}) {
        const auto devices = installVirtualDevices({"Lead Coil", "Bass Coil"});
        devices->setCycleTargets(true);
        devices->setSendError(1, midNote ? 0 : 5);
        Rig rig;
        std::string error;
        ASSERT_TRUE(parseRig("[coil Lead]\ndevice = Lead Coil\nchannels = 0-1\n"
                             "[coil Bass]\ndevice = Bass Coil\nchannels = 1\nvolume_percent = 50\n", "rig.conf", rig, error));
        AppState state;
        state.setRig(rig);
        Keyboard keyboard;
        keyboard.m_devices = inCycle ? devices.get() : nullptr;
        Statuses observer;
        LiveSession session(state, observer, keyboard, 0, LiveForwarder::kAllChannels);
        ASSERT_EQ(session.start(41), midNote ? LiveSession::Start::Started : LiveSession::Start::ControllerFailed);
        if (midNote) {
            devices->setSendError(1, 5);
            keyboard.play({0x91, 0x3C, 0x64});
            EXPECT_EQ(session.run(), LiveEnd::ControllerLost);
        }
        EXPECT_EQ(midNote ? session.lostText() : session.startError(), "Error: lost the connection to coil Bass (Bass Coil)");
        using Sent = std::vector<Bytes>;
        EXPECT_EQ(devices->messages(0),
                  (midNote ? Sent{{0xB0, 7, 41}, {0x90, 0x3C, 0x64}, {0xB0, 120, 0}, {0x90, 0x3C, 0}, {0xB0, 123, 0}}
                           : Sent{{0xB0, 7, 41}, {0xB0, 120, 0}, {0xB0, 123, 0}}));
    }
}

}  // namespace
