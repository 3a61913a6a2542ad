#include "midiout/MidiOutput.h"
#include "midiout/WinMmService.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// The six WinMM calls over devices with chosen UTF-16 names, logging every
// call that reaches a handle. Device i opens as handle 0x100 + i.
class FakeWinMm : public WinMmCalls {
public:
    std::vector<std::u16string> names;
    std::optional<unsigned> refusedOpen;  // this device's midiOutOpen fails
    unsigned sendResult = 0;              // what midiOutShortMsg answers
    std::vector<std::string> log;

    unsigned numDevs() override { return static_cast<unsigned>(names.size()); }
    unsigned devCaps(unsigned device, std::u16string& productName) override
    {
        if (device >= names.size()) {
            return 2;  // MMSYSERR_BADDEVICEID
        }
        productName = names[device];
        return 0;
    }
    unsigned open(std::uintptr_t& handle, unsigned device) override
    {
        if (refusedOpen == device) {
            return 4;  // MMSYSERR_ALLOCATED: held by another program
        }
        handle = 0x100 + device;
        log.push_back(hex("open", handle));
        return 0;
    }
    unsigned shortMsg(std::uintptr_t handle, std::uint32_t message) override
    {
        log.push_back(hex("msg", handle) + hex("", message));
        return sendResult;
    }
    unsigned reset(std::uintptr_t handle) override { return note("reset", handle); }
    unsigned close(std::uintptr_t handle) override { return note("close", handle); }

private:
    static std::string hex(const char* what, std::uintptr_t value)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%s %llx", what, static_cast<unsigned long long>(value));
        return text;
    }
    unsigned note(const char* what, std::uintptr_t handle)
    {
        log.push_back(hex(what, handle));
        return 0;
    }
};

class WinMmServiceTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_fake->names = {u"Microsoft GS Wavetable Synth", u"Quillarc USB Controller", u"S\u00fcd \u5408\u6210 \U0001D11E",
                         u"Lone \xD800 half"};
        ASSERT_TRUE(MidiOutPort::installService(m_service));
    }

    std::shared_ptr<FakeWinMm> m_fake = std::make_shared<FakeWinMm>();
    std::shared_ptr<WinMmService> m_service = std::make_shared<WinMmService>(m_fake);
};

TEST_F(WinMmServiceTest, ProductNamesAreTheDriversInUtf8)
{
    const std::vector<std::string> expected{"Microsoft GS Wavetable Synth", "Quillarc USB Controller",
                                            "S\xC3\xBC" "d \xE5\x90\x88\xE6\x88\x90 \xF0\x9D\x84\x9E",
                                            "Lone \xEF\xBF\xBD half", ""};
    MidiOutput output;
    std::vector<std::string> names;
    for (int port = 0; port < MidiOutput::deviceCount(); ++port) {
        output.selectPort(port);
        names.push_back(output.portName());
    }
    names.push_back(m_service->productName(4));
    EXPECT_EQ(names, expected);
}

TEST_F(WinMmServiceTest, WordsGoOutPackedAndTheLastObjectResetsThenClosesEveryOpenDevice)
{
    m_fake->refusedOpen = 3;
    {
        MidiOutput controller(1, 1);
        MidiOutput refused(3, 1);
        EXPECT_EQ(refused.isOpen(), 0);
        EXPECT_EQ(refused.sendNoteOn(0, 60, 1), kSendDeviceNotOpen);
        EXPECT_EQ(controller.sendNoteOn(0, 200, 300), 0);
        EXPECT_EQ(controller.sendControlChange(17, 7, 100), 0);
        MidiOutput other(0, 1);
        other.closePort();
        EXPECT_EQ(other.sendNoteOn(0, 60, 1), kSendDeviceNotOpen);
    }
    std::vector<std::string> expected{"open 101", "msg 101 2c4890", "msg 101 6407b1", "open 100", "close 100"};
    for (unsigned channel = 0; channel < 16; ++channel) {
        for (const unsigned controller : {64U, 120U, 123U}) {
            char line[32];
            std::snprintf(line, sizeof line, "msg 101 %x", 0xB0 + channel + controller * 0x100);
            expected.push_back(line);
        }
    }
    expected.insert(expected.end(), {"reset 101", "close 101"});
    EXPECT_EQ(m_fake->log, expected);
}

TEST_F(WinMmServiceTest, DeviceAtTheCountIsRefusedAndANoDeviceAnswerIsALostDevice)
{
    ASSERT_EQ(m_service->deviceCount(), 4);
    EXPECT_FALSE(m_service->open(4));
    ASSERT_TRUE(m_service->open(1));
    m_fake->sendResult = 2;  // MMSYSERR_BADDEVICEID: unplugged since it was opened
    EXPECT_EQ(m_service->send(1, 0x90, 60, 1), kSendDeviceGone);
    m_fake->sendResult = 11;  // MMSYSERR_INVALPARAM, passed on as it is
    EXPECT_EQ(m_service->send(1, 0x90, 60, 1), 11);
    EXPECT_EQ(m_fake->log, (std::vector<std::string>{"open 101", "msg 101 13c90", "msg 101 13c90"}));
}

}  // namespace
