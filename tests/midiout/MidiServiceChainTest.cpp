#include "midiout/MidiServiceChain.h"
#include "midiout/VirtualMidiService.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {

using Bytes = std::array<std::uint8_t, 3>;
using Kind = VirtualMidiService::Record::Kind;

struct Chain {
    std::shared_ptr<VirtualMidiService> first = std::make_shared<VirtualMidiService>(std::vector<std::string>{"A", "B"});
    std::shared_ptr<VirtualMidiService> second = std::make_shared<VirtualMidiService>(std::vector<std::string>{"C"});
    MidiServiceChain chain{{first, second}};
};

TEST(MidiServiceChainTest, NumbersTheFirstServicesDevicesFirstAsOfTheLatestCount)
{
    Chain devices;
    EXPECT_EQ(devices.chain.productName(0), "") << "nothing is known before the first count";
    ASSERT_EQ(devices.chain.deviceCount(), 3);
    const char* names[] = {"A", "B", "C", "", ""};
    for (int device = -1; device < 4; ++device) {
        EXPECT_EQ(devices.chain.productName(device), device < 0 ? "" : names[device]) << device;
    }

    devices.first->addDevice("D");
    EXPECT_EQ(devices.chain.productName(2), "C") << "a new device counts from the next count on";
    ASSERT_EQ(devices.chain.deviceCount(), 4);
    EXPECT_EQ(devices.chain.productName(2), "D");
    EXPECT_EQ(devices.chain.productName(3), "C");
}

TEST(MidiServiceChainTest, EachCallReachesTheDeviceBehindTheIndexAndNoOther)
{
    Chain devices;
    ASSERT_EQ(devices.chain.deviceCount(), 3);
    EXPECT_TRUE(devices.chain.open(2));
    EXPECT_TRUE(devices.chain.open(1));
    EXPECT_EQ(devices.chain.send(2, 0x91, 61, 101), 0);
    EXPECT_EQ(devices.chain.send(1, 0xB2, 7, 99), 0);
    devices.chain.reset(2);
    devices.chain.close(2);
    EXPECT_EQ(devices.chain.send(2, 0x90, 1, 1), kSendDeviceNotOpen);
    EXPECT_EQ(devices.chain.send(3, 0x90, 1, 1), kSendDeviceNotOpen);
    EXPECT_FALSE(devices.chain.open(3));
    EXPECT_FALSE(devices.chain.open(-1));

    EXPECT_EQ(devices.second->messages(0), (std::vector<Bytes>{{0x91, 61, 101}}));
    EXPECT_EQ(devices.first->messages(1), (std::vector<Bytes>{{0xB2, 7, 99}}));
    EXPECT_TRUE(devices.first->messages(0).empty());
    std::vector<Kind> secondKinds;
    for (const auto& record : devices.second->records()) {
        secondKinds.push_back(record.kind);
    }
    EXPECT_EQ(secondKinds, (std::vector<Kind>{Kind::Open, Kind::Message, Kind::Reset, Kind::Close}));
    EXPECT_TRUE(devices.first->isDeviceOpen(1));
}

}  // namespace
