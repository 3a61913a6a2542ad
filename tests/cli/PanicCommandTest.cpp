#include "cli/Commands.h"
#include "midiout/MidiOutPort.h"
#include "midiout/VirtualMidiService.h"

#include <gtest/gtest.h>

namespace {

using Messages = std::vector<std::array<std::uint8_t, 3>>;

struct PanicCase {
    const char* name;
    std::vector<std::string> devices;
    std::vector<std::string> args;
    bool failOpen;  // every device refuses to open
    int exitCode;
    const char* stderrText;
    int silenced;  // the device that got the reset, -1 for none
};

class PanicCommandTest : public testing::TestWithParam<PanicCase> {};

TEST_P(PanicCommandTest, SilencesEveryChannelOfTheChosenDevice)
{
    const PanicCase& row = GetParam();
    auto service = std::make_shared<VirtualMidiService>(row.devices);
    ASSERT_TRUE(MidiOutPort::installService(service));
    for (int device = 0; device < static_cast<int>(row.devices.size()); ++device) {
        service->failOpen(device, row.failOpen);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(runPanicCommand(row.args), row.exitCode);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), row.stderrText);

    Messages reset;
    for (int channel = 0; channel < 16; ++channel) {
        for (const std::uint8_t controller : {64, 120, 123}) {
            reset.push_back({static_cast<std::uint8_t>(0xB0 + channel), controller, 0});
        }
    }
    for (int device = 0; device < static_cast<int>(row.devices.size()); ++device) {
        EXPECT_EQ(service->messages(device), device == row.silenced ? reset : Messages{}) << device;
        EXPECT_FALSE(service->isDeviceOpen(device));
    }
}

const std::vector<std::string> kTwo{"Synth", "Quillarc USB Controller"};

INSTANTIATE_TEST_SUITE_P(
    Rows, PanicCommandTest,
    testing::Values(PanicCase{"TheController", kTwo, {}, false, 0, "Coil silenced\n", 1},
                    PanicCase{"ChosenPort", kTwo, {"--port", "0"}, false, 0, "Coil silenced\n", 0},
                    PanicCase{"NoController", {"Synth"}, {}, false, 1, "Error: no compatible controller found\n", -1},
                    PanicCase{"PortOneTooFar", kTwo, {"--port", "2"}, false, 1,
                              "Error: there is no output device 2 (devices: 2)\n", -1},
                    PanicCase{"CannotOpen", kTwo, {"--port", "1"}, true, 1, "Error: cannot open the controller\n", -1},
                    PanicCase{"NoDevices", {}, {}, false, 1, "Error: no MIDI output devices\n", -1}),
    [](const testing::TestParamInfo<PanicCase>& row) { return row.param.name; });

}  // namespace
