#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "midiout/VirtualDevices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

// Workers send on their own objects while the user-interface side keeps making
// and dropping short-lived probe objects: the shared table stays consistent
// and every message arrives on its device in order.
TEST(MidiOutputThreadsTest, ObjectsOnSeveralThreadsShareTheTableSafely)
{
    auto devices = installVirtualDevices({"Synth", "Quillarc USB Controller", "Other", "Third"});
    constexpr int kMessages = 300;
    {
        MidiOutput application(1, 1);
        std::vector<std::thread> workers;
        for (int device = 2; device <= 3; ++device) {
            workers.emplace_back([device] {
                MidiOutput output(device, 1);
                for (int index = 0; index < kMessages; ++index) {
                    EXPECT_EQ(output.sendNoteOn(device, index, 64), 0);
                }
            });
        }
        for (int round = 0; round < 50; ++round) {
            EXPECT_EQ(findController(), 1);
            EXPECT_EQ(application.sendControlChange(0, 7, round), 0);
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
    }
    for (int device = 2; device <= 3; ++device) {
        const auto sent = devices->messages(device);
        ASSERT_EQ(sent.size(), static_cast<std::size_t>(kMessages));
        for (int index = 0; index < kMessages; ++index) {
            EXPECT_EQ(sent[static_cast<std::size_t>(index)][1], index & 0x7F);
        }
        EXPECT_EQ(countRecords(*devices, Kind::Open, device), 1);
    }
    EXPECT_EQ(devices->messages(1).size(), 50U);
    // Only the application's object, the last to go, reset the devices: each
    // once, after everything sent to it.
    const auto records = devices->records();
    for (int device = 1; device <= 3; ++device) {
        EXPECT_EQ(countRecords(*devices, Kind::Reset, device), 1);
        EXPECT_FALSE(devices->isDeviceOpen(device));
    }
    const auto firstReset = std::find_if(records.begin(), records.end(),
                                         [](const auto& record) { return record.kind == Kind::Reset; });
    EXPECT_TRUE(std::none_of(firstReset, records.end(),
                             [](const auto& record) { return record.kind == Kind::Message; }));
}

}  // namespace
