#include "jack/JackMidiService.h"
#include "midiout/ProductName.h"
#include "midiout/RtMidiService.h"
#include "midiout/ShortMessage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

TEST(SystemMidiServicesTest, ProductNameIsTheClientNameBeforeTheFirstColon)
{
    struct Row {
        const char* portName;
        const char* product;
    };
    const Row rows[] = {
        {"Quillarc USB Controller:midi_in", "Quillarc USB Controller"},   // JACK
        {"Quillarc USB Controller:Quillarc USB Controller MIDI 1 24:0", "Quillarc USB Controller"},  // ALSA
        {"Quillarc USB Controller 2:midi_in", "Quillarc USB Controller 2"},
        {"Midi Through:Midi Through Port-0 14:0", "Midi Through"},
        {"a:b:c", "a"},
        {"No colon at all", "No colon at all"},
        {":port", ""},
        {"", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(productNameOf(row.portName), row.product) << row.portName;
    }
}

TEST(SystemMidiServicesTest, MessageLengthFollowsTheStatusByte)
{
    struct Row {
        std::uint8_t status;
        std::size_t length;
    };
    const Row rows[] = {
        {0x80, 3}, {0x90, 3}, {0xA5, 3}, {0xBF, 3}, {0xC0, 2}, {0xDF, 2}, {0xE1, 3},
        {0xF1, 2}, {0xF2, 3}, {0xF3, 2}, {0xF6, 1}, {0xF8, 1}, {0xFF, 1}, {0x00, 3}, {0x7F, 3},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(shortMessageLength(row.status), row.length) << std::hex << int(row.status);
    }
}

// Looking for devices where there is neither an ALSA sequencer nor a JACK
// server finds none and prints nothing, through either service.
TEST(SystemMidiServicesTest, WithoutAnyMidiSystemThereAreNoDevicesAndNoNoise)
{
    if (::access("/dev/snd/seq", F_OK) == 0) {
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    }
    ::setenv("JACK_DEFAULT_SERVER", "quillarc-unit-test-absent", 1);
    for (const bool jack : {false, true}) {
        ::testing::internal::CaptureStderr();
        ::testing::internal::CaptureStdout();
        int count = -1;
        {
            const std::shared_ptr<MidiService> service =
                jack ? std::shared_ptr<MidiService>(JackMidiService::processClient()) : std::make_shared<RtMidiService>();
            count = service->deviceCount();
            EXPECT_FALSE(service->open(0));
            EXPECT_EQ(service->send(0, 0x90, 60, 100), kSendDeviceNotOpen);
            EXPECT_EQ(service->productName(0), "");
            service->reset(0);
            service->close(0);
        }
        const std::string out = ::testing::internal::GetCapturedStdout();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(count, 0) << (jack ? "JACK" : "RtMidi");
        EXPECT_EQ(out, "");
        EXPECT_EQ(err, "");
    }
}

}  // namespace
