#pragma once

#include "midiout/MidiOutPort.h"
#include "midiout/VirtualMidiService.h"
#include "playback/AppState.h"
#include "playback/PlaybackObserver.h"
#include "support/SmfBuilder.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <mutex>
#include <string>
#include <vector>

using Message = std::array<std::uint8_t, 3>;
using Messages = std::vector<Message>;

// Records what a worker reports; safe to read from the test thread.
class RecordingObserver : public PlaybackObserver {
public:
    void statusText(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_statuses.push_back(text);
    }
    void progress(int position) override
    {
        std::lock_guard lock(m_mutex);
        m_progress.push_back(position);
    }
    void finished() override { m_finished.store(true); }
    void songLength(int totalMs) override { statusText("length " + std::to_string(totalMs)); }
    void nowPlaying(int index) override
    {
        std::lock_guard lock(m_mutex);
        m_playing.push_back(index);
    }
    void songTime(int elapsedMs) override
    {
        std::lock_guard lock(m_mutex);
        m_times.push_back(elapsedMs);
    }
    void songShape(int speedPercent, const std::optional<LoopRegion>& loop, bool loopOn) override
    {
        std::lock_guard lock(m_mutex);
        m_shape = std::to_string(speedPercent) +
                  (loop ? ' ' + std::to_string(loop->fromMs) + '-' + std::to_string(loop->toMs) : std::string()) +
                  (loopOn ? " on" : "");
    }
    // The last start's speed and loop: "200 1000-1500 on".
    std::string shape() const
    {
        std::lock_guard lock(m_mutex);
        return m_shape;
    }
    std::vector<int> playingIndices() const
    {
        std::lock_guard lock(m_mutex);
        return m_playing;
    }
    std::vector<int> songTimes() const
    {
        std::lock_guard lock(m_mutex);
        return m_times;
    }
    void controllerLost() override { m_lost.fetch_add(1); }
    int lostReports() const { return m_lost.load(); }

    std::vector<std::string> statuses() const
    {
        std::lock_guard lock(m_mutex);
        return m_statuses;
    }
    std::vector<int> progressPositions() const
    {
        std::lock_guard lock(m_mutex);
        return m_progress;
    }
    bool hasFinished() const { return m_finished.load(); }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_statuses;
    std::vector<int> m_progress;
    std::vector<int> m_playing;
    std::vector<int> m_times;
    std::string m_shape;
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_lost{0};
};

// A controller at device index 1 behind an in-memory MIDI service, and a
// scratch folder for songs.
class PlaybackFixture : public testing::Test {
protected:
    static constexpr int kController = 1;

    void SetUp() override
    {
        m_service = std::make_shared<VirtualMidiService>(std::vector<std::string>{"Other Synth", "Quillarc USB Controller"});
        ASSERT_TRUE(MidiOutPort::installService(m_service));
        m_dir = std::filesystem::temp_directory_path() /
                ("quillarc-playback-" + std::to_string(processId()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir);
        state.controllerPort.store(kController);
        state.playing.store(1);
    }

    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // Writes a song and makes it the one to play.
    std::string useSong(const std::vector<std::uint8_t>& bytes, const std::string& name = "song.mid")
    {
        const std::filesystem::path path = m_dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        state.setCurrentFileName(path.string());
        return path.string();
    }

    Messages sent() const { return m_service->messages(kController); }

    bool anyOpen() const
    {
        for (const auto& record : m_service->records()) {
            if (record.kind == VirtualMidiService::Record::Kind::Open) {
                return true;
            }
        }
        return false;
    }

    AppState state;
    RecordingObserver observer;
    std::shared_ptr<VirtualMidiService> m_service;
    std::filesystem::path m_dir;
};

inline Message noteOn(int key, int velocity)
{
    return {0x90, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity)};
}
inline Message controlChange(int controller, int value)
{
    return {0xB0, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(value)};
}
inline const Message kAllSoundOff{0xB0, 120, 0};
inline const Message kAllNotesOff{0xB0, 123, 0};

// The panel's Remove on the playlist's first file.
inline void dropFirstFile(AppState& state)
{
    const auto files = state.playlist();
    std::vector<int> newIndexOf;
    for (std::size_t i = 0; i < files->size(); ++i) {
        newIndexOf.push_back(static_cast<int>(i) - 1);
    }
    state.editPlaylist(std::vector<std::string>(files->begin() + 1, files->end()), newIndexOf);
}

// Drives `player` (a session or a playlist run) from `start` as the playback
// thread does, passing at the wake times it asks for, with the presses of
// `presses` ("T p": at start + T Pause; r Play while paused; s Stop; n Next;
// v Previous; e the playlist's first file removed; =MS seek to MS; +MS or
// -MS seek by MS; *P speed P %, ^N N speed steps; LA-B loop A to B ms, l
// loop off) made before the pass at
// their time. Returns what was sent by the passes, "T K/V" for a note-on,
// "T x" for all-sound-off, "T o" for all-notes-off, "T vN" for the channel
// volume, T after `start`; "@N:" before a message on channel N.
template <class Player>
std::string playTimed(Player& player, AppState& state, const std::function<Messages()>& sent, std::uint32_t start,
                      const std::string& presses, std::uint32_t* now = nullptr)
{
    std::istringstream pressList(presses);
    std::uint32_t pressAt = 0;
    std::string press;
    bool pressing = static_cast<bool>(pressList >> pressAt >> press);
    std::string timed;
    std::uint32_t t = start;
    std::size_t count = sent().size();
    bool goesOn = true;
    for (int passes = 0; goesOn && passes < 100000; ++passes) {
        while (pressing && (t - (start + pressAt)) < 0x80000000U) {
            t = start + pressAt;
            const char key = press[0];
            key == 'p'   ? state.requestPause()
            : key == 'r' ? state.requestResume()
            : key == 's' ? state.requestStop()
            : key == 'n' ? state.requestStep(1)
            : key == 'v' ? state.requestStep(-1)
            : key == 'e' ? dropFirstFile(state)
            : key == '=' ? state.requestSeek(std::stoi(press.substr(1)))
            : key == '*' ? state.requestSpeed(std::stoi(press.substr(1)))
            : key == '^' ? state.requestSpeedStep(std::stoi(press.substr(1)))
            : key == 'L' ? state.setLoop({LoopRegion{std::stoi(press.substr(1)),
                                                     std::stoi(press.substr(press.find('-') + 1))}, true})
            : key == 'l' ? state.setLoop({LoopRegion{}, false})
                         : state.requestSeekBy(std::stoi(press));
            pressing = static_cast<bool>(pressList >> pressAt >> press);
        }
        if (now != nullptr) {
            *now = t;
        }
        const auto result = player.pass(t);
        const Messages all = sent();
        for (; count < all.size(); ++count) {
            const Message m = all[count];
            timed += (timed.empty() ? "" : " ") + std::to_string(t - start) + " " +
                     ((m[0] & 0x0F) != 0 ? "@" + std::to_string(m[0] & 0x0F) + ":" : std::string()) +
                     ((m[0] & 0xF0) != 0xB0 ? std::to_string(m[1]) + "/" + std::to_string(m[2])
                      : m[1] == 120 ? std::string("x")
                      : m[1] == 123 ? std::string("o")
                                    : "v" + std::to_string(m[2]));
        }
        goesOn = result.goesOn;
        const std::uint32_t next = pressing ? start + pressAt : t + 0x7FFFFFFFU;
        t = result.wakeAt && (*result.wakeAt - t) < (next - t) ? *result.wakeAt : next;
        if (!result.wakeAt && !pressing) {
            break;
        }
    }
    return timed;
}
