#include "app/LiveRefusal.h"
#include "app/LoopMarks.h"
#include "app/M3u.h"
#include "app/Playlist.h"
#include "app/SongClock.h"
#include "app/StatusTexts.h"
#include "app/Transport.h"
#include "playback/AppState.h"
#include "rig/RigFile.h"
#include "song/PlaybackOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <tuple>

namespace {

struct ControllerCase {
    int port;
    const char* text;
};

class ControllerStatus : public testing::TestWithParam<ControllerCase> {};

TEST_P(ControllerStatus, NamesTheDeviceIndexInDecimal)
{
    EXPECT_EQ(controllerStatusText(GetParam().port), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Ports, ControllerStatus,
                         testing::Values(ControllerCase{0, "Found Quillarc USB controller on port 0"},
                                         ControllerCase{3, "Found Quillarc USB controller on port 3"},
                                         ControllerCase{10, "Found Quillarc USB controller on port 10"},
                                         ControllerCase{12, "Found Quillarc USB controller on port 12"},
                                         ControllerCase{-1, "Error: no compatible controller found"}));

Rig rigOf(std::string_view text)
{
    Rig rig;
    std::string error;
    EXPECT_TRUE(parseRig(text, "rig.conf", rig, error)) << error;
    return rig;
}

struct RigStatusCase {
    std::vector<std::optional<std::int32_t>> devices;
    const char* text;
};

class RigStatus : public testing::TestWithParam<RigStatusCase> {};

TEST_P(RigStatus, CountsTheCoilsFoundAndNamesEachMissingOne)
{
    const Rig rig = rigOf("[coil Lead]\ndevice = Lead Coil\nchannels = 0\n[coil Bass]\ndevice = Bass Coil #2\nchannels = 1\n");
    EXPECT_EQ(rigStatusText(rig, GetParam().devices), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, RigStatus,
    testing::Values(RigStatusCase{{3, 1}, "Found 2 of 2 coils"},
                    RigStatusCase{{std::nullopt, std::nullopt},
                                  "Found 0 of 2 coils: coil Lead not found (Lead Coil), coil Bass not found (Bass Coil #2)"}));

using Lines = std::vector<std::pair<std::string, int>>;

Lines linesOf(const Playlist& playlist)
{
    Lines lines;
    for (const Playlist::Line& line : playlist.lines()) {
        lines.emplace_back(line.text, line.index);
    }
    return lines;
}

TEST(Playlist, CancelledOpenKeepsTheEarlierFilesBehindAnEmptyBox)
{
    Playlist playlist;
    playlist.replace({"/a/one.mid", "/a/two.mid"});
    playlist.selectLine(1);
    playlist.clearLines();
    EXPECT_TRUE(playlist.lines().empty());
    EXPECT_EQ(playlist.fileCount(), 2);
    EXPECT_EQ(playlist.startPlaying(), "/a/two.mid");

    // The next added file gets the next index, not 0.
    EXPECT_FALSE(playlist.append("/a/three.mid"));
    EXPECT_EQ(linesOf(playlist), (Lines{{"/a/three.mid", 2}}));
    EXPECT_EQ(playlist.selectLine(0), "/a/three.mid");
    EXPECT_EQ(playlist.selectedFile(), 2);
}

TEST(Playlist, HoldsManyEntriesWithLongPaths)
{
    Playlist playlist;
    const std::string longPath = "/" + std::string(600, 'd') + "/song.mid";
    for (int i = 0; i < 300; ++i) {
        playlist.append(longPath + std::to_string(i));
    }
    EXPECT_EQ(playlist.fileCount(), 300);
    EXPECT_EQ(playlist.selectLine(299), longPath + "299");
}

// Three files, the second selected and the third playing; each edit's
// moves, the files after it and where the selection and the current file went.
TEST(Playlist, EditsKeepTheSelectionAtItsPlaceOrWithItsFile)
{
    using Edit = std::function<std::optional<Playlist::Moves>(Playlist&)>;
    const std::tuple<const char*, Edit, std::optional<Playlist::Moves>, Lines, int, int> rows[] = {
        {"remove the selected", [](Playlist& p) { return p.remove(1); }, Playlist::Moves{0, -1, 1}, Lines{{"/a/1.mid", 0}, {"/a/3.mid", 1}}, 1, 1},
        {"remove the playing last", [](Playlist& p) { return p.remove(2); }, Playlist::Moves{0, 1, -1}, Lines{{"/a/1.mid", 0}, {"/a/2.mid", 1}}, 1, 0},
        {"move the selected up", [](Playlist& p) { return p.move(1, -1); }, Playlist::Moves{1, 0, 2}, Lines{{"/a/2.mid", 0}, {"/a/1.mid", 1}, {"/a/3.mid", 2}}, 0, 2},
        {"move the last down", [](Playlist& p) { return p.move(2, 1); }, std::nullopt, Lines{{"/a/1.mid", 0}, {"/a/2.mid", 1}, {"/a/3.mid", 2}}, 1, 2},
        {"clear", [](Playlist& p) { return p.clear(); }, Playlist::Moves{-1, -1, -1}, Lines{{"No files selected", 0}}, 0, 0},
    };
    for (const auto& [name, edit, moves, lines, selected, current] : rows) {
        Playlist playlist;
        playlist.replace({"/a/1.mid", "/a/2.mid", "/a/3.mid"});
        playlist.selectLine(2);
        playlist.startPlaying();
        playlist.selectLine(1);
        EXPECT_EQ(edit(playlist), moves) << name;
        EXPECT_EQ(linesOf(playlist), lines) << name;
        EXPECT_EQ(std::tuple(playlist.selectedFile(), playlist.currentFile(), playlist.fileLoaded()),
                  std::tuple(selected, current, lines.front().second == 0 && lines.front().first != "No files selected"))
            << name;
    }
}

TEST(M3u, PathsInTheirOrderRelativeOnesFromTheListsFolder)
{
    const std::string text = "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:13,Chords\r\nchords.mid\r\n\r\n/songs/b c.kar\n../up/./d.midi\re.mid";
    EXPECT_EQ(m3uPaths(text, "/lists/mine.m3u").paths,
              (std::vector<std::string>{"/lists/chords.mid", "/songs/b c.kar", "/up/d.midi", "/lists/e.mid"}));
    const M3uPaths binary = m3uPaths(std::string_view("#EXTM3U\nok.mid\nMThd\x00\x00\x00\x06\n", 24), "/lists/song.m3u");
    EXPECT_EQ(std::tuple(binary.paths.size(), binary.error), std::tuple(0u, std::optional<std::string>("Error: /lists/song.m3u line 3: not a path")));
    EXPECT_EQ(m3uText({"/x/a.mid", "/y/b.kar"}), "#EXTM3U\n/x/a.mid\n/y/b.kar\n");
}

struct PlayCase {
    const char* name;
    bool fileLoaded;
    int controllerPort;
    int playing;
    int paused;
    PlayStep step;
    bool rigFile = false;  // its coils are looked up by the session
};

class DecidePlay : public testing::TestWithParam<PlayCase> {};

TEST_P(DecidePlay, FollowsTheTransportTable)
{
    const PlayCase& c = GetParam();
    Playlist playlist;
    if (c.fileLoaded) {
        playlist.append("/a/one.mid");
    }
    AppState state;
    state.controllerPort.store(c.controllerPort);
    state.playing.store(c.playing);
    state.paused.store(c.paused);
    state.setRig(c.rigFile ? std::optional(rigOf("[coil Bass]\ndevice = Bass Coil\nchannels = 1\n")) : std::nullopt);
    EXPECT_EQ(decidePlay(state, playlist), c.step);
}

INSTANTIATE_TEST_SUITE_P(
    States, DecidePlay,
    testing::Values(PlayCase{"NoFileEvenWithoutController", false, -1, 0, 0, PlayStep::RefuseNoFile},
                    PlayCase{"NoFile", false, 0, 0, 0, PlayStep::RefuseNoFile},
                    PlayCase{"NoController", true, -1, 0, 0, PlayStep::RefuseNoController},
                    PlayCase{"NoControllerWithARigFile", true, -1, 0, 0, PlayStep::StartWorker, true},
                    PlayCase{"Idle", true, 0, 0, 0, PlayStep::StartWorker},
                    PlayCase{"Playing", true, 4, 1, 0, PlayStep::Ignore},
                    PlayCase{"Paused", true, 4, 1, 1, PlayStep::Resume},
                    PlayCase{"StoppedWhilePaused", true, 4, 0, 1, PlayStep::StartWorker}),
    [](const testing::TestParamInfo<PlayCase>& row) { return row.param.name; });

TEST(Transport, BeginPlaybackHandsOverTheSelectedFileAndTheOptions)
{
    Playlist playlist;
    playlist.replace({"/a/one.mid", "/a/two.mid"});
    playlist.selectLine(1);
    AppState state;
    state.paused.store(1);
    PlaybackOptions options;
    options.playChannel = 9;
    const auto seen = state.changeCount();

    beginPlayback(state, playlist, options);

    EXPECT_EQ(state.playing.load(), 1);
    EXPECT_EQ(state.paused.load(), 0);
    EXPECT_EQ(state.currentFileName(), "/a/two.mid");
    EXPECT_EQ(state.options()->playChannel, 9);
    EXPECT_EQ(playlist.currentFile(), 1);
    EXPECT_EQ(state.playingIndex.load(), 1);
    EXPECT_NE(state.changeCount(), seen);
}

TEST(Transport, PauseOnlyWhilePlaying)
{
    AppState state;
    state.requestPause();
    EXPECT_EQ(state.paused.load(), 0);
    EXPECT_EQ(state.pauseStartPending.load(), 0);
    state.playing.store(1);
    state.requestPause();
    EXPECT_EQ(state.paused.load(), 1);
    EXPECT_EQ(state.pauseStartPending.load(), 1);
}

// Keys: "[MS" and "]MS" mark A and B at MS, "L" turns the loop on or off.
TEST(LoopMarks, TheKeysMarkARegionThatTurnsOnlyOnceItHasAnEndAfterItsStart)
{
    for (const auto& [start, on, keys, text, region] :
         std::vector<std::tuple<std::optional<LoopRegion>, bool, std::string, std::string, std::optional<LoopRegion>>>{
             {std::nullopt, false, "[1250 ]7750 L", "Loop 0:01 - 0:07 on", LoopRegion{1250, 7750}},
             {LoopRegion{2000, 9500}, true, "L", "Loop 0:02 - 0:09 off", LoopRegion{2000, 9500}},
             {LoopRegion{2000, 9500}, false, "[9600 L", "Loop 0:09 - ? off", std::nullopt},
             {std::nullopt, false, "]4200 L", "Loop 0:00 - 0:04 on", LoopRegion{0, 4200}},
             {LoopRegion{2000, 9500}, true, "]1500", "Loop 0:02 - ? off", std::nullopt}}) {
        LoopMarks marks;
        marks.reset(start, on);
        std::istringstream presses(keys);
        for (std::string key; presses >> key;) {
            if (key == "L") {
                marks.toggle();
            } else {
                std::invoke(key[0] == '[' ? &LoopMarks::markStart : &LoopMarks::markEnd, marks, std::stoi(key.substr(1)));
            }
        }
        EXPECT_EQ(marks.text(), text) << keys;
        EXPECT_EQ(marks.request().region, region) << keys;
        EXPECT_EQ(marks.request().on, text.ends_with(" on")) << keys;
    }
}

TEST(StatusTexts, SongTimeIsWholeSecondsCutWithHoursOnceThereAreAny)
{
    EXPECT_EQ(songTimeText(false, 83'999, 225'400), "Playing 1:23 / 3:45");
    EXPECT_EQ(songTimeText(true, 9'500, 61'000), "Paused 0:09 / 1:01");
    EXPECT_EQ(songTimeText(false, 3'599'999, 3'723'000), "Playing 59:59 / 1:02:03");
    EXPECT_EQ(playlistRowText("/music/a b/Jig.kar", 125'999), "Jig.kar (2:05)");
    EXPECT_EQ(playlistRowText("relative.mid", std::nullopt), "relative.mid");
    EXPECT_EQ(playlistRowText("Jig.kar", 1'500, true), "Jig.kar (0:01) [settings]");
}

TEST(SongClock, RunsOnFromEachReportAndStandsStillWhilePaused)
{
    // S start (the length), R report, P pause, G go on, = read (what it reads).
    const std::vector<std::tuple<char, std::int64_t, int>> steps{
        {'S', 70'000, 12'345}, {'=', 70'250, 250},   {'R', 71'010, 1'000},  {'=', 71'410, 1'400}, {'P', 71'610, 0},
        {'=', 75'000, 1'600},  {'R', 75'100, 6'600}, {'=', 79'000, 6'600},  {'G', 80'000, 0},     {'=', 80'333, 6'933},
        {'=', 99'000, 12'345}, {'S', 99'500, 900},   {'=', 99'500, 0}};
    SongClock clock;
    for (const auto& [what, now, value] : steps) {
        if (what == 'S') {
            clock.start(value, now);
        } else if (what == 'R') {
            clock.report(value, now);
        } else if (what == '=') {
            EXPECT_EQ(clock.at(now), value) << "at " << now;
        } else {
            clock.setPaused(what == 'P', now);
        }
    }
}

struct LiveRefusalCase {
    const char* name;
    int controllerPort;
    int playing;
    int paused;
    int inputDevices;
    const char* refusal;  // null: live mode may start
    bool rigFile = false;
};

class LiveRefusal : public testing::TestWithParam<LiveRefusalCase> {};

TEST_P(LiveRefusal, RefusesWithTheFirstReasonThatHolds)
{
    const LiveRefusalCase& c = GetParam();
    AppState state;
    state.controllerPort.store(c.controllerPort);
    state.playing.store(c.playing);
    state.paused.store(c.paused);
    state.setRig(c.rigFile ? std::optional(rigOf("[coil Bass]\ndevice = Bass Coil\nchannels = 1\n")) : std::nullopt);
    const auto refusal = liveModeRefusal(state, c.inputDevices);
    EXPECT_EQ(refusal.value_or("none"), c.refusal ? c.refusal : "none");
}

INSTANTIATE_TEST_SUITE_P(
    States, LiveRefusal,
    testing::Values(LiveRefusalCase{"NoControllerFirst", -1, 1, 0, 0, "Error: no compatible controller found"},
                    LiveRefusalCase{"Playing", 3, 1, 0, 2, "Song is playing or paused, cannot enter live mode"},
                    LiveRefusalCase{"StoppedWhilePaused", 3, 0, 1, 2, "Song is playing or paused, cannot enter live mode"},
                    LiveRefusalCase{"NoInputDevice", 3, 0, 0, 0, "Error: no MIDI input devices"},
                    LiveRefusalCase{"Idle", 3, 0, 0, 2, nullptr},
                    LiveRefusalCase{"RigFileWithoutController", -1, 0, 0, 2, nullptr, true}),
    [](const testing::TestParamInfo<LiveRefusalCase>& row) { return row.param.name; });

}  // namespace
