#include "midiout/MidiOutput.h"
#include "midiout/VirtualDevices.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class MidiOutputTest : public ::testing::Test {
protected:
    std::shared_ptr<VirtualMidiService> m_devices = installVirtualDevices({"Synth", "Quillarc USB Controller"});
};

TEST_F(MidiOutputTest, ChannelMessagesPutTheChannelInTheLowNibbleAndMaskDataBytes)
{
    MidiOutput output(1, 1);
    EXPECT_EQ(output.sendControlChange(17, 7, 100), 0);
    EXPECT_EQ(output.sendNoteOn(0, 60, 0), 0);
    EXPECT_EQ(output.sendNoteOn(0, 200, 127), 0);
    EXPECT_EQ(output.sendNoteOn(15, 60, 200), 0);
    EXPECT_EQ(output.sendNoteOn(-1, 60, 1), 0);
    EXPECT_EQ(output.sendControlChange(0, 120, 0), 0);
    EXPECT_EQ(output.sendMessage(0xC3, 5, 0), 0);
    const std::vector<Bytes> expected{
        {0xB1, 0x07, 0x64}, {0x90, 0x3C, 0x00}, {0x90, 0x48, 0x7F}, {0x9F, 0x3C, 0x48},
        {0x9F, 0x3C, 0x01}, {0xB0, 0x78, 0x00}, {0xC3, 0x05, 0x00},
    };
    EXPECT_EQ(m_devices->messages(1), expected);
}

TEST_F(MidiOutputTest, OpeningAPortAnotherObjectOpenedDoesNotOpenTheDeviceAgain)
{
    MidiOutput application;
    application.selectPort(1);
    EXPECT_EQ(application.openPort(), 1);
    MidiOutput playback(1, 1);
    EXPECT_EQ(playback.isOpen(), 1);
    EXPECT_EQ(countRecords(*m_devices, Kind::Open, 1), 1);
}

TEST_F(MidiOutputTest, ShortLivedObjectLeavesTheApplicationsDeviceAlone)
{
    MidiOutput application(1, 1);
    {
        MidiOutput probe;
        probe.selectPort(1);
        EXPECT_EQ(probe.portName(), "Quillarc USB Controller");
    }
    EXPECT_EQ(application.isOpen(), 1);
    EXPECT_EQ(application.sendNoteOn(0, 60, 100), 0);
    EXPECT_EQ(countRecords(*m_devices, Kind::Reset, 1), 0);
    EXPECT_EQ(countRecords(*m_devices, Kind::Close, 1), 0);
}

struct SilencingRow {
    const char* name;
    // At 1000 + T ms on a device that takes messages 50 ms ahead: "T on K V" or
    // "T off K" (0x80) at once, "T at K V D" handed for 1000 + D, "T back".
    const char* steps;
    std::vector<Bytes> silencing;  // what silence(0) sends after them
};

class MidiOutputSilencingTest : public MidiOutputTest, public testing::WithParamInterface<SilencingRow> {};

TEST_P(MidiOutputSilencingTest, SilencingReleasesEveryKeyLeftSoundingAfterAllSoundOff)
{
    std::uint32_t now = 1000;
    m_devices->setSchedule(1, 50, [&now] { return now; });
    MidiOutput output(1, 1);
    std::istringstream steps(GetParam().steps);
    for (std::string what; steps >> now >> what; ) {
        now += 1000;
        int key = 0, velocity = 0, due = 0;
        what == "on"    ? (steps >> key >> velocity, output.sendNoteOn(0, key, velocity))
        : what == "off" ? (steps >> key, output.sendMessage(0x80, key, 64))
        : what == "ch1" ? (steps >> key, output.sendNoteOn(1, key, 100))
        : what == "at"  ? (steps >> key >> velocity >> due, output.sendNoteOnAt(0, key, velocity, 1000U + due))
                        : output.takeBack();
    }
    const std::size_t before = m_devices->messages(1).size();
    EXPECT_EQ(output.silence(0), 0);
    const std::vector<Bytes> all = m_devices->messages(1);
    EXPECT_EQ(std::vector<Bytes>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()), GetParam().silencing);
    // Each key is released once: a second silencing finds none sounding.
    EXPECT_EQ(output.silence(0), 0);
    EXPECT_EQ(m_devices->messages(1).size(), all.size() + 2);
}

const Bytes kSoundOff{0xB0, 120, 0};
const Bytes kNotesOff{0xB0, 123, 0};

INSTANTIATE_TEST_SUITE_P(
    Rows, MidiOutputSilencingTest,
    testing::Values(
        SilencingRow{"NoneSounding", "1 on 60 100 2 on 60 0", {kSoundOff, kNotesOff}},
        // 200 is key 72 on the wire; 0x80 ends 64; channel 1's key is not channel 0's.
        SilencingRow{"InKeyOrder", "1 on 64 1 2 on 200 9 3 on 61 5 4 off 64 5 ch1 50",
                   {kSoundOff, {0x90, 61, 0}, {0x90, 72, 0}, kNotesOff}},
        // Taken back at 15: 62's note-on never sounded, 60's note-off never left.
        SilencingRow{"WhatWasTakenBackNeverLeft", "1 on 60 9 2 at 61 9 10 3 at 62 9 20 4 at 60 0 30 15 back",
                   {kSoundOff, {0x90, 60, 0}, {0x90, 61, 0}, kNotesOff}},
        // Handed and gone by the time of the silencing: 61 sounds, 60 ended.
        SilencingRow{"WhatWasHandedAndLeft", "1 on 60 9 2 at 61 9 10 3 at 60 0 20 40 back",
                   {kSoundOff, {0x90, 61, 0}, kNotesOff}}),
    [](const testing::TestParamInfo<SilencingRow>& row) { return std::string(row.param.name); });

}  // namespace
