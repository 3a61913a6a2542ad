#include "PlaybackFixture.h"
#include "playback/RigOutputs.h"
#include "rig/RigFile.h"

namespace {

using Kind = VirtualMidiService::Record::Kind;

Rig rigOf(const std::string& text)
{
    Rig rig;
    std::string error;
    EXPECT_TRUE(parseRig(text, "rig.conf", rig, error)) << error;
    return rig;
}

const std::string kLeadAndBass = "[coil Lead]\nchannels = 0\nlowest_key = 40\n"
                                 "[coil Bass]\ndevice = Bass Coil #2\nchannels = 1\nvolume_percent = 80\n"
                                 "shift_low_notes = on\n";

class RigOutputsTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_service = std::make_shared<VirtualMidiService>(
            std::vector<std::string>{"Other Synth", "Bass Coil", "Quillarc USB Controller", "Bass Coil"});
        ASSERT_TRUE(MidiOutPort::installService(m_service));
    }

    // "Open 2", "Close 3", "3: 90 1E 64": what reached the devices, in order.
    std::vector<std::string> records() const
    {
        std::vector<std::string> lines;
        for (const auto& record : m_service->records()) {
            char text[32];
            const auto& b = record.bytes;
            if (record.kind == Kind::Message) {
                std::snprintf(text, sizeof text, "%d: %02X %02X %02X", record.device, b[0], b[1], b[2]);
            } else {
                std::snprintf(text, sizeof text, "%s %d", record.kind == Kind::Open ? "Open" : record.kind == Kind::Close ? "Close" : "Reset", record.device);
            }
            lines.emplace_back(text);
        }
        return lines;
    }

    std::shared_ptr<VirtualMidiService> m_service;
};

TEST_F(RigOutputsTest, OpenResolvesEveryCoilFirstAndOpensAllOrNone)
{
    const struct {
        const char* name;
        std::optional<std::string> rigFile;  // nothing: the default rig
        int refusesToOpen;                   // a device that fails to open, or -1
        int controllerPort;
        std::optional<std::string> error;
        std::vector<std::string> records;
    } rows[] = {
        {"two coils, the second on the second device of its name", kLeadAndBass, -1, 0, {}, {"Open 2", "Open 3"}},
        {"a coil whose device is missing opens nothing",
         "[coil Lead]\nchannels = 0\n[coil Bass]\ndevice = Bass Coil #3\nchannels = 1\n", -1, 0,
         "Error: coil Bass not found (Bass Coil #3)", {}},
        {"a coil refusing to open closes the coils opened before it", kLeadAndBass, 3, 0,
         "Error: cannot open coil Bass (Bass Coil #2)", {"Open 2", "Close 2"}},
        {"the default rig opens the controller where the port says", {}, -1, 2, {}, {"Open 2"}},
        {"the default rig finds the controller afresh where the port has another name", {}, -1, 1, {}, {"Open 2"}},
        {"the default rig refused says so as the controller always has", {}, 2, 2, kCannotOpenControllerText, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_service->clear();
        m_service->failOpen(row.refusesToOpen, true);
        const Rig rig = row.rigFile ? rigOf(*row.rigFile) : defaultRig(PlaybackOptions{});
        RigOutputs outputs(rig, PlaybackOptions{}, row.rigFile.has_value());
        EXPECT_EQ(outputs.open(row.controllerPort, kControllerName), row.error);
        EXPECT_EQ(outputs.isOpen(), !row.error.has_value());
        EXPECT_EQ(records(), row.records);
        m_service->failOpen(row.refusesToOpen, false);
    }
}

TEST_F(RigOutputsTest, EachCoilHasItsShareItsLimitsAndItsSilencingAndALostCoilIsNamed)
{
    PlaybackOptions options;
    options.lowerLimit = 31;
    {
        RigOutputs outputs(rigOf(kLeadAndBass), options, true);
        ASSERT_EQ(outputs.open(0, kControllerName), std::nullopt);
        EXPECT_EQ(std::make_pair(outputs.options(0).shiftLowNotes, outputs.options(1).shiftLowNotes), std::make_pair(0, 1));
        EXPECT_EQ(outputs.options(1).lowerLimit, 31);
        EXPECT_TRUE(outputs.sendVolume(31));
        using Sent = RigOutputs::Sent;
        EXPECT_EQ(outputs.sendNote(0, 30, 100, 7000), Sent::Limited);  // under Lead's lowest key
        EXPECT_EQ(outputs.sendNote(1, 30, 100, 7000), Sent::Handed);
        EXPECT_EQ(outputs.sendNote(0, 60, 90, 7001), Sent::Handed);
        m_service->setSendError(3, kSendDeviceGone);
        EXPECT_EQ(outputs.sendNote(1, 62, 10, 7002), Sent::Refused);
        EXPECT_FALSE(outputs.silenceAll());
        EXPECT_EQ(outputs.lostCoil(), std::optional<std::size_t>(1));
        EXPECT_EQ(outputs.lostText(), "Error: lost the connection to coil Bass (Bass Coil #2)");
        EXPECT_EQ(outputs.limitCounts(), (CoilLimitCounts{0, 1, 0}));
        m_service->setSendError(3, 0);
    }
    // Volume 31 x 80 % is 24.8: Bass gets 24. Its key 30 was still sounding
    // when it refused the silencing: the last silencing, at the end, ends it.
    EXPECT_EQ(records(), (std::vector<std::string>{"Open 2", "Open 3", "2: B0 07 1F", "3: B0 07 18", "3: 90 1E 64",
                                                   "2: 90 3C 5A", "2: B0 78 00", "2: 90 3C 00", "2: B0 7B 00",
                                                   "2: B0 78 00", "2: B0 7B 00", "3: B0 78 00", "3: 90 1E 00",
                                                   "3: B0 7B 00", "Close 2", "Close 3"}));
}

TEST_F(RigOutputsTest, TheDefaultRigsLostCoilIsTheController)
{
    RigOutputs outputs(defaultRig(PlaybackOptions{}), PlaybackOptions{}, false);
    ASSERT_EQ(outputs.open(2, kControllerName), std::nullopt);
    m_service->setSendError(2, kSendDeviceGone);
    EXPECT_FALSE(outputs.sendVolume(40));
    EXPECT_EQ(outputs.lostText(), kControllerLostText);
}

}  // namespace
