#include "midiout/MidiOutput.h"
#include "midiout/VirtualDevices.h"

#include <gtest/gtest.h>

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

}  // namespace
