#include "cli/Commands.h"
#include "midiout/MidiOutPort.h"
#include "support/ConfigFolder.h"
#include "support/SmfBuilder.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

namespace {

using Message = std::array<std::uint8_t, 3>;
using Messages = std::vector<Message>;

// Devices plugged in or pulled out while a song is being read: the devices
// present change at the first call from any thread but the test's (the
// playback worker). As with the real services, the numbering of every call
// follows the latest count.
class ChangingDevices : public MidiService {
public:
    ChangingDevices(std::vector<std::string> before, std::vector<std::string> after)
        : m_before(std::move(before)), m_after(std::move(after)), m_testThread(std::this_thread::get_id())
    {
    }

    int deviceCount() override
    {
        std::lock_guard lock(m_mutex);
        m_numbered = present();
        return static_cast<int>(m_numbered.size());
    }
    std::string productName(int device) override
    {
        std::lock_guard lock(m_mutex);
        return nameOf(device).value_or("");
    }
    bool open(int device) override
    {
        std::lock_guard lock(m_mutex);
        const auto name = pluggedName(device);
        return name && m_open.insert(*name).second;
    }
    void close(int device) override
    {
        std::lock_guard lock(m_mutex);
        if (const auto name = nameOf(device)) {
            m_open.erase(*name);
        }
    }
    void reset(int) override {}
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        std::lock_guard lock(m_mutex);
        const auto name = pluggedName(device);
        if (!name || m_open.count(*name) == 0) {
            return kSendDeviceNotOpen;
        }
        m_sent[*name].push_back({status, data1, data2});
        return 0;
    }

    // What reached the device of this name.
    Messages messagesTo(const std::string& name)
    {
        std::lock_guard lock(m_mutex);
        return m_sent[name];
    }

private:
    const std::vector<std::string>& present()
    {
        m_changed = m_changed || std::this_thread::get_id() != m_testThread;
        return m_changed ? m_after : m_before;
    }
    std::optional<std::string> nameOf(int device) const
    {
        if (device < 0 || device >= static_cast<int>(m_numbered.size())) {
            return std::nullopt;
        }
        return m_numbered[static_cast<std::size_t>(device)];
    }
    // The name behind a number while that device is plugged in.
    std::optional<std::string> pluggedName(int device)
    {
        const auto name = nameOf(device);
        const auto& now = present();
        return name && std::find(now.begin(), now.end(), *name) != now.end() ? name : std::nullopt;
    }

    std::vector<std::string> m_before;
    std::vector<std::string> m_after;
    std::thread::id m_testThread;
    std::mutex m_mutex;
    std::vector<std::string> m_numbered;
    bool m_changed = false;
    std::set<std::string> m_open;
    std::map<std::string, Messages> m_sent;
};

struct ChangeCase {
    const char* name;
    std::vector<std::string> after;
    // Whether the controller is still there to receive the song.
    bool controllerStays;
    std::vector<std::string> args = {};
    int exitCode = 0;
    std::string err = "";                     // SONG and LIMITS stand for the paths of the song and limits file
    std::vector<std::uint8_t> song = {};      // instead of the song of one note
    std::string limits = "";                  // the limits file, when there is one
    bool stoppedAtStart = false;              // the controller got its volume and the silencing only
};


class PlayCommandWhileDevicesChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(PlayCommandWhileDevicesChange, SongGoesToTheChosenDeviceOrNowhere)
{
    const std::string controller = "Quillarc USB Controller";
    auto devices = std::make_shared<ChangingDevices>(std::vector<std::string>{"Synth", controller}, GetParam().after);
    ASSERT_TRUE(MidiOutPort::installService(devices));
    const std::filesystem::path song = std::filesystem::temp_directory_path() /
                                       ("quillarc-cli-play-" + std::to_string(processId()) + ".mid");
    const auto bytes = GetParam().song.empty()
                           ? SmfBuilder(0, 480).track().noteOn(0, 0, 60, 100).noteOn(120, 0, 60, 0).end().bytes()
                           : GetParam().song;
    std::ofstream(song, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

    const ConfigFolder config;
    if (!GetParam().limits.empty()) {
        config.writeLimits(GetParam().limits);
    }
    std::vector<std::string> args{song.string(), "--volume", "50"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    testing::internal::CaptureStderr();
    EXPECT_EQ(runPlayCommand(args), GetParam().exitCode);
    std::string err = GetParam().err;
    for (const auto& [word, text] : {std::pair<std::string, std::string>{"SONG", song.string()}, {"LIMITS", config.limitsPath()}}) {
        for (auto at = err.find(word); at != std::string::npos; at = err.find(word, at + text.size())) {
            err.replace(at, word.size(), text);
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), err);
    std::filesystem::remove(song);

    EXPECT_EQ(devices->messagesTo("Synth"), Messages{});
    EXPECT_EQ(devices->messagesTo("New Synth"), Messages{});
    const Messages expected =
        GetParam().stoppedAtStart    ? Messages{{0xB0, 7, 50}, {0xB0, 120, 0}, {0xB0, 123, 0}}
        : GetParam().controllerStays ? Messages{{0xB0, 7, 50}, {0x90, 60, 100}, {0x90, 60, 0}, {0xB0, 120, 0}, {0xB0, 123, 0}}
                                     : Messages{};
    EXPECT_EQ(devices->messagesTo(controller), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlayCommandWhileDevicesChange,
    testing::Values(ChangeCase{"DevicePluggedInBeforeIt", {"New Synth", "Synth", "Quillarc USB Controller"}, true},
                    ChangeCase{"ControllerPulledOut", {"Synth"}, false, {}, 1, "Error: cannot open the controller\n"},
                    ChangeCase{"PortEqualToTheDeviceCount", {"Synth", "Quillarc USB Controller"}, false, {"--port", "2"}, 1,
                               "Error: there is no output device 2 (devices: 2)\n"},
                    ChangeCase{"NotAMidiFileSaysSoOnce", {"Synth", "Quillarc USB Controller"}, false, {}, 1,
                               "File: SONG is not a MIDI file\nChara data ish\n", {'h', 'e', 'l', 'l', 'o'}},
                    ChangeCase{"UnreadableLimitsFilePlaysNothing", {"Synth", "Quillarc USB Controller"}, false, {}, 2,
                               "Error: LIMITS:2: unknown key 'duty'\n", {}, "# the coil\nduty = 4\n"},
                    ChangeCase{"LimitsFileIgnored", {"Synth", "Quillarc USB Controller"}, true, {"--no-limits"}, 0, "", {},
                               "duty = 4\n"},
                    // The song's last entry is due at 0.625 s.
                    ChangeCase{"FromPastTheEndIsAnError", {"Synth", "Quillarc USB Controller"}, false, {"--from", "0.626"}, 1,
                               "Error: --from 0.626 is past the end of SONG (0.625 s)\n", {}, "", true}),
    [](const testing::TestParamInfo<ChangeCase>& param) { return param.param.name; });

}  // namespace
