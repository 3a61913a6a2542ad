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

TEST(FindControllerDeathTest, WithoutAnyDeviceTheProbeEndsTheProcess)
{
    installVirtualDevices({});
    EXPECT_EXIT(findController(), ::testing::ExitedWithCode(1), "^Error: no MIDI output devices\n$");
}

}  // namespace
