#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "midiout/VirtualDevices.h"

#include <gtest/gtest.h>

namespace {

struct ControllerRow {
    const char* what;
    std::vector<std::string> names;
    std::vector<int> unopenable;
    int expected;
};

class FindControllerTest : public ::testing::TestWithParam<ControllerRow> {};

TEST_P(FindControllerTest, FindsTheFirstExactName)
{
    const ControllerRow& row = GetParam();
    auto devices = installVirtualDevices(row.names);
    for (const int device : row.unopenable) {
        devices->failOpen(device, true);
    }
    EXPECT_EQ(findController(), row.expected);
    for (int device = 0; device < static_cast<int>(row.names.size()); ++device) {
        EXPECT_FALSE(devices->isDeviceOpen(device)) << "the search leaves every device closed";
    }
    // The probe is gone: the device table can be counted again.
    devices->addDevice("Quillarc USB Controller");
    MidiOutput output;
    EXPECT_EQ(MidiOutput::deviceCount(), static_cast<int>(row.names.size()) + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FindControllerTest,
    ::testing::Values(
        ControllerRow{"Alone", {"Quillarc USB Controller"}, {}, 0},
        ControllerRow{"AfterOthers", {"Synth", "Other", "Quillarc USB Controller"}, {}, 2},
        ControllerRow{"LowerIndexWins", {"Synth", "Quillarc USB Controller", "Quillarc USB Controller"}, {}, 1},
        ControllerRow{"LongerNameDoesNotMatch", {"Quillarc USB Controller 2", "Quillarc USB Controller"}, {}, 1},
        ControllerRow{"OnlyLongerName", {"Quillarc USB Controller 2"}, {}, -1},
        ControllerRow{"ShorterNameDoesNotMatch", {"Quillarc USB"}, {}, -1},
        ControllerRow{"CaseMatters", {"quillarc usb controller"}, {}, -1},
        ControllerRow{"NoneAtAll", {"Synth", "Other"}, {}, -1},
        ControllerRow{"BusyDeviceHasNoName", {"Quillarc USB Controller", "Quillarc USB Controller"}, {0}, 1}),
    [](const ::testing::TestParamInfo<ControllerRow>& row) { return std::string(row.param.what); });

// The table lives (the panel's fixed-mode object holds it) while the
// controller is plugged in: only a fresh count finds it, and only while no
// device is open, since a count renumbers the devices.
TEST(FindControllerAfreshTest, CountsAgainOnlyWhileNothingIsOpen)
{
    auto devices = installVirtualDevices({"Synth", "Other"});
    MidiOutput holder;
    devices->addDevice("Quillarc USB Controller");
    EXPECT_EQ(findController(), -1);
    holder.openPort();
    EXPECT_EQ(findControllerAfresh(), -1);
    holder.closePort();
    EXPECT_EQ(findControllerAfresh(), 2);
    EXPECT_EQ(MidiOutput::deviceCount(), 3);
}

struct SilenceRow {
    const char* what;
    bool openBefore;
    bool failOpen;
    int sendError;
    bool silenced;
    bool openAfter;
};

class SilenceDeviceTest : public ::testing::TestWithParam<SilenceRow> {};

TEST_P(SilenceDeviceTest, SendsTheResetOnEveryChannel)
{
    const SilenceRow& row = GetParam();
    auto devices = installVirtualDevices({"Synth", "Quillarc USB Controller"});
    MidiOutput holder(1, row.openBefore ? 1 : 0);
    devices->failOpen(1, row.failOpen);
    devices->setSendError(1, row.sendError);
    EXPECT_EQ(silenceDevice(1), row.silenced);
    std::vector<std::array<std::uint8_t, 3>> expected;
    if (row.silenced) {
        for (int channel = 0; channel < 16; ++channel) {
            for (const std::uint8_t controller : {64, 120, 123}) {
                expected.push_back({static_cast<std::uint8_t>(0xB0 + channel), controller, 0});
            }
        }
    }
    EXPECT_EQ(devices->messages(1), expected);
    EXPECT_EQ(devices->isDeviceOpen(1), row.openAfter);
    EXPECT_TRUE(devices->messages(0).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SilenceDeviceTest,
    ::testing::Values(SilenceRow{"ClosedIsOpenedAndClosedAgain", false, false, 0, true, false},
                      SilenceRow{"OpenStaysOpen", true, false, 0, true, true},
                      SilenceRow{"CannotOpen", false, true, 0, false, false},
                      SilenceRow{"RefusesMessages", false, false, 6, false, false}),
    [](const ::testing::TestParamInfo<SilenceRow>& row) { return std::string(row.param.what); });

TEST(FindControllerTest, WithoutAnyDeviceThereIsNone)
{
    installVirtualDevices({});
    EXPECT_EQ(findController(), -1);
}

struct OpenRow {
    const char* what;
    std::vector<std::string> after;  // the devices by the time of the open, before a count
    bool heldOpen;                   // another object holds a device open meanwhile
    int opened;                      // the number it opens the controller at, -1 for none
};

class OpenDeviceTest : public ::testing::TestWithParam<OpenRow> {};

// Counted as {"Quillarc USB Controller", "Synth"}: the controller at 0.
TEST_P(OpenDeviceTest, OpensTheNamedDeviceWhereverItIsNow)
{
    const OpenRow& row = GetParam();
    auto devices = installVirtualDevices({"Quillarc USB Controller", "Synth"});
    MidiOutput holder;
    holder.selectPort(1);
    devices->unplug("Quillarc USB Controller");
    devices->unplug("Synth");
    for (const std::string& name : row.after) {
        devices->addDevice(name);
    }
    if (row.heldOpen) {
        holder.openPort();
    }
    MidiOutput output;
    EXPECT_EQ(openDevice(output, 0, kControllerName), row.opened);
    for (int device = 0; device < static_cast<int>(row.after.size()); ++device) {
        EXPECT_EQ(devices->isDeviceOpen(device), device == row.opened || (row.heldOpen && device == 1)) << device;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OpenDeviceTest,
    ::testing::Values(OpenRow{"StillWhereItWas", {"Quillarc USB Controller", "Synth"}, false, 0},
                      // Its client came back after another one: the device at 0 is not it.
                      OpenRow{"NumberedAnew", {"Synth", "Quillarc USB Controller"}, false, 1},
                      OpenRow{"Gone", {"Synth", "Other"}, false, -1},
                      // Counting afresh would renumber what is open: it is not done.
                      OpenRow{"NumberedAnewWhileADeviceIsOpen", {"Synth", "Quillarc USB Controller"}, true, -1}),
    [](const ::testing::TestParamInfo<OpenRow>& row) { return std::string(row.param.what); });

}  // namespace
