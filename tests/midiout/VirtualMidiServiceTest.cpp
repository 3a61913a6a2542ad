#include "midiout/VirtualMidiService.h"

#include <gtest/gtest.h>

namespace {

using Kind = VirtualMidiService::Record::Kind;

TEST(VirtualMidiServiceTest, RecordsWhatTookEffectInOrderWithRisingTimes)
{
    VirtualMidiService service({"A", "B"});
    EXPECT_EQ(service.deviceCount(), 2);
    EXPECT_EQ(service.productName(1), "B");
    EXPECT_EQ(service.productName(2), "");

    EXPECT_TRUE(service.open(1));
    EXPECT_EQ(service.send(1, 0x90, 60, 100), 0);
    service.reset(1);
    service.close(1);
    service.close(1);  // already closed: no record
    service.reset(0);  // never opened: no record

    const auto records = service.records();
    ASSERT_EQ(records.size(), 4U);
    const Kind kinds[] = {Kind::Open, Kind::Message, Kind::Reset, Kind::Close};
    for (std::size_t index = 0; index < records.size(); ++index) {
        EXPECT_EQ(records[index].kind, kinds[index]);
        EXPECT_EQ(records[index].device, 1);
        if (index > 0) {
            EXPECT_GE(records[index].when, records[index - 1].when);
        }
    }
    EXPECT_EQ(records[1].bytes, (std::array<std::uint8_t, 3>{0x90, 60, 100}));

    service.clear();
    EXPECT_TRUE(service.records().empty());
}

TEST(VirtualMidiServiceTest, RefusesWhatARealDeviceWouldRefuse)
{
    VirtualMidiService service({"A"});
    EXPECT_EQ(service.send(0, 0x90, 60, 100), kSendDeviceNotOpen);
    EXPECT_FALSE(service.open(1));
    EXPECT_FALSE(service.open(-1));
    EXPECT_TRUE(service.open(0));
    EXPECT_FALSE(service.open(0)) << "an open device cannot be opened twice";
    EXPECT_EQ(service.send(3, 0x90, 60, 100), kSendDeviceNotOpen);

    service.setSendError(0, 11);
    EXPECT_EQ(service.send(0, 0x90, 60, 100), 11);
    service.setSendError(0, 0);
    EXPECT_EQ(service.send(0, 0x90, 60, 100), 0);
    EXPECT_EQ(service.messages(0).size(), 1U);

    service.close(0);
    service.failOpen(0, true);
    EXPECT_FALSE(service.open(0));
    EXPECT_FALSE(service.isDeviceOpen(0));
    service.failOpen(0, false);
    EXPECT_TRUE(service.open(0));
}

}  // namespace
