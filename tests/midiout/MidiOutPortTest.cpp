#include "midiout/MidiOutPort.h"
#include "midiout/MidiOutput.h"
#include "midiout/VirtualDevices.h"

#include <gtest/gtest.h>

#include <iostream>
#include <optional>

namespace {

class MidiOutPortTest : public ::testing::Test {
protected:
    std::shared_ptr<VirtualMidiService> m_devices =
        installVirtualDevices({"Synth A", "Quillarc USB Controller", "Synth C"});
};

TEST_F(MidiOutPortTest, DeviceTableHasOneEntryPerDeviceAndStartsClosed)
{
    MidiOutPort port;
    EXPECT_EQ(MidiOutPort::deviceCount(), 3);
    EXPECT_EQ(port.port(), 0);
    for (int index = 0; index < 3; ++index) {
        port.selectPort(index);
        EXPECT_EQ(port.isOpen(), 0);
    }
    EXPECT_TRUE(m_devices->records().empty());
}

TEST_F(MidiOutPortTest, OpenStateBelongsToTheDeviceNotTheObject)
{
    MidiOutPort first(1, 0);
    MidiOutPort second(1, 0);
    MidiOutPort elsewhere(2, 0);
    EXPECT_EQ(first.openPort(), 1);
    EXPECT_EQ(second.isOpen(), 1);
    EXPECT_EQ(elsewhere.isOpen(), 0);
    second.resetPort();
    EXPECT_EQ(countRecords(*m_devices, Kind::Reset, 1), 1);

    second.closePort();
    first.resetPort();
    EXPECT_EQ(first.isOpen(), 0);
    EXPECT_FALSE(m_devices->isDeviceOpen(1));
    EXPECT_EQ(countRecords(*m_devices, Kind::Open, 1), 1);
    EXPECT_EQ(countRecords(*m_devices, Kind::Close, 1), 1);
    EXPECT_EQ(countRecords(*m_devices, Kind::Reset, 1), 1) << "neither closing nor a closed device sends a reset";
}

// A recount after a device was pulled out leaves an object on its old
// number: it has no device there, and the numbers below still work.
TEST_F(MidiOutPortTest, PortBeyondARecountHasNoDevice)
{
    MidiOutPort below(1, 0);
    MidiOutPort beyond(2, 0);
    m_devices->unplugLastDevice();
    EXPECT_EQ(MidiOutPort::recount(), 2);
    EXPECT_EQ(MidiOutPort::deviceCount(), 2);
    EXPECT_EQ(beyond.isOpen(), 0);
    EXPECT_EQ(beyond.openPort(), 0);
    EXPECT_EQ(beyond.portName(), "");
    beyond.closePort();
    EXPECT_EQ(below.portName(), "Quillarc USB Controller");
    EXPECT_EQ(below.openPort(), 1);
    EXPECT_EQ(MidiOutPort::recount(), -1) << "a device is open";
}

TEST_F(MidiOutPortTest, OpenPortOnAnOpenDeviceDoesNotOpenItAgain)
{
    MidiOutPort first(0, 1);
    MidiOutPort second(0, 1);
    EXPECT_EQ(first.openPort(), 1);
    EXPECT_EQ(second.openPort(), 1);
    EXPECT_EQ(countRecords(*m_devices, Kind::Open, 0), 1);
}

TEST_F(MidiOutPortTest, FailedOpenLeavesTheDeviceClosedUntilItWorks)
{
    m_devices->failOpen(1, true);
    MidiOutPort port(1, 1);
    EXPECT_EQ(port.isOpen(), 0);
    EXPECT_EQ(port.openPort(), 0);
    EXPECT_EQ(port.isOpen(), 0);

    m_devices->failOpen(1, false);
    EXPECT_EQ(port.openPort(), 1);
    EXPECT_EQ(port.isOpen(), 1);
}

TEST_F(MidiOutPortTest, SelectPortMovesAwayWithoutClosing)
{
    MidiOutPort port(1, 1);
    port.selectPort(2);
    EXPECT_EQ(port.port(), 2);
    EXPECT_EQ(port.isOpen(), 0);
    EXPECT_TRUE(m_devices->isDeviceOpen(1));
    port.selectPort(1);
    EXPECT_EQ(port.isOpen(), 1);
}

TEST_F(MidiOutPortTest, PortNameLeavesTheOpenStateAsItFoundIt)
{
    MidiOutPort port(1, 0);
    EXPECT_EQ(port.portName(), "Quillarc USB Controller");
    EXPECT_EQ(port.isOpen(), 0);
    EXPECT_FALSE(m_devices->isDeviceOpen(1));
    EXPECT_EQ(countRecords(*m_devices, Kind::Open, 1), 1) << "a closed device is opened for the query";

    m_devices->clear();
    EXPECT_EQ(port.openPort(), 1);
    EXPECT_EQ(port.portName(), "Quillarc USB Controller");
    EXPECT_EQ(port.isOpen(), 1);
    EXPECT_EQ(countRecords(*m_devices, Kind::Close, 1), 0);
}

TEST_F(MidiOutPortTest, PortNameOfADeviceThatCannotBeOpenedIsEmpty)
{
    m_devices->failOpen(2, true);
    MidiOutPort port(2, 0);
    EXPECT_EQ(port.portName(), "");
    EXPECT_EQ(port.isOpen(), 0);
}

TEST_F(MidiOutPortTest, ShortMessagesMaskDataBytesAndKeepTheStatusByte)
{
    struct Row {
        int status, data1, data2;
        Bytes wire;
    };
    const Row rows[] = {
        {0x90, 200, 300, {0x90, 0x48, 0x2C}},
        {0xB0, 127, 127, {0xB0, 0x7F, 0x7F}},
        {0x80, -1, 128, {0x80, 0x7F, 0x00}},
        {0x00, 1, 2, {0x00, 0x01, 0x02}},
        // The status is added to the packed word as given: its carry lands
        // in the first data byte.
        {0x190, 0x10, 0x00, {0x90, 0x11, 0x00}},
    };
    MidiOutPort port(0, 1);
    for (const Row& row : rows) {
        EXPECT_EQ(port.sendShortMessage(row.status, row.data1, row.data2), 0);
    }
    const auto sent = m_devices->messages(0);
    ASSERT_EQ(sent.size(), std::size(rows));
    for (std::size_t index = 0; index < sent.size(); ++index) {
        EXPECT_EQ(sent[index], rows[index].wire) << "row " << index;
    }
}

TEST_F(MidiOutPortTest, SendResultsComeFromThePlatform)
{
    MidiOutPort port(2, 0);
    const int closedResult = port.sendShortMessage(0x90, 60, 100);
    EXPECT_NE(closedResult, 0) << "a closed device refuses the message";
    EXPECT_NE(closedResult, 2);
    EXPECT_EQ(port.openPort(), 1);
    m_devices->setSendError(2, 67);
    EXPECT_EQ(port.sendShortMessage(0x90, 60, 100), 67);
    EXPECT_TRUE(m_devices->messages(2).empty());
}

TEST_F(MidiOutPortTest, LastObjectResetsAndClosesEveryOpenDevice)
{
    std::optional<MidiOutPort> first(std::in_place, 0, 1);
    std::optional<MidiOutPort> second(std::in_place, 2, 1);
    first.reset();
    EXPECT_TRUE(m_devices->isDeviceOpen(0)) << "only the last object closes devices";
    EXPECT_EQ(countRecords(*m_devices, Kind::Reset, 0), 0);

    m_devices->clear();
    second.reset();
    const auto records = m_devices->records();
    ASSERT_EQ(records.size(), 4U);
    EXPECT_EQ(records[0].kind, Kind::Reset);
    EXPECT_EQ(records[0].device, 0);
    EXPECT_EQ(records[1].kind, Kind::Close);
    EXPECT_EQ(records[1].device, 0);
    EXPECT_EQ(records[2].kind, Kind::Reset);
    EXPECT_EQ(records[2].device, 2);
    EXPECT_EQ(records[3].kind, Kind::Close);
    EXPECT_EQ(records[3].device, 2);
    EXPECT_FALSE(m_devices->isDeviceOpen(1));
}

TEST_F(MidiOutPortTest, NextFirstObjectCountsTheDevicesAgain)
{
    {
        MidiOutPort port(1, 1);
        m_devices->addDevice("Late Synth");
        MidiOutPort another;
        EXPECT_EQ(MidiOutPort::deviceCount(), 3) << "the count is taken once by the first object";
    }
    MidiOutPort port(3, 1);
    EXPECT_EQ(MidiOutPort::deviceCount(), 4);
    EXPECT_EQ(port.portName(), "Late Synth");
    EXPECT_EQ(port.isOpen(), 1);
    MidiOutPort controller(1, 0);
    EXPECT_EQ(controller.isOpen(), 0) << "the new table starts closed";
}

TEST_F(MidiOutPortTest, ServiceCanOnlyBeReplacedWhileNoObjectExists)
{
    auto other = std::make_shared<VirtualMidiService>(std::vector<std::string>{"Other"});
    EXPECT_FALSE(MidiOutPort::installService(nullptr));
    {
        MidiOutput output;
        EXPECT_FALSE(MidiOutPort::installService(other));
        EXPECT_EQ(MidiOutPort::service(), m_devices);
    }
    EXPECT_TRUE(MidiOutPort::installService(other));
    MidiOutput output;
    EXPECT_EQ(MidiOutPort::deviceCount(), 1);
    EXPECT_EQ(output.portName(), "Other");
    EXPECT_FALSE(MidiOutPort::installService(m_devices));
}

using MidiOutPortDeathTest = MidiOutPortTest;

TEST_F(MidiOutPortDeathTest, SelectPortOutsideTheTableEndsTheProcess)
{
    MidiOutPort port;
    EXPECT_EXIT(port.selectPort(3), ::testing::ExitedWithCode(1),
                "^Error: maximum port number is: 2, but you tried to access port: 3\n$");
    EXPECT_EXIT(port.selectPort(-1), ::testing::ExitedWithCode(1),
                "^Error: maximum port number is: 2, but you tried to access port: -1\n$");
    EXPECT_EXIT(MidiOutPort(7, 1), ::testing::ExitedWithCode(1),
                "^Error: maximum port number is: 2, but you tried to access port: 7\n$");
}

// A missing device is no programming error: the caller says so and ends
// through its normal path.
TEST(MidiOutPortNoDeviceTest, FirstObjectWithoutDevicesHasNoPort)
{
    installVirtualDevices({});
    MidiOutPort port;
    EXPECT_EQ(MidiOutPort::deviceCount(), 0);
    EXPECT_EQ(port.port(), -1);
    EXPECT_EQ(port.openPort(), 2);
    EXPECT_EQ(port.sendShortMessage(0x90, 60, 1), 2);
}

// A fatal error ends the process through exit, which still destroys static
// output objects: the last of them silences the open devices on the way out.
class AnnouncingService : public VirtualMidiService {
public:
    using VirtualMidiService::VirtualMidiService;
    void reset(int device) override
    {
        std::cerr << "reset " << device << std::endl;
        VirtualMidiService::reset(device);
    }
};

TEST(MidiOutPortExitDeathTest, FatalErrorStillResetsOpenDevicesOnTheWayOut)
{
    EXPECT_TRUE(MidiOutPort::installService(std::make_shared<AnnouncingService>(std::vector<std::string>{"A", "B"})));
    EXPECT_EXIT(
        {
            static MidiOutput application(1, 1);
            application.selectPort(5);
        },
        ::testing::ExitedWithCode(1), "^Error: maximum port number is: 1, but you tried to access port: 5\nreset 1\n$");
}

}  // namespace
