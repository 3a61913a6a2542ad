#include "PlaybackFixture.h"
#include "midiout/MidiOutput.h"
#include "playback/PlaybackSession.h"
#include "rig/RigFile.h"
#include "song/SongSettingsFile.h"
#include "support/ConfigFolder.h"

namespace {

// Three notes a quarter apart at 120 bpm: on-times 500, 1000, 1500 ms.
std::vector<std::uint8_t> threeNotes()
{
    return SmfBuilder(1, 480)
        .track().noteOn(0, 0, 60, 100).noteOn(480, 0, 62, 90).noteOn(480, 0, 64, 0).end()
        .bytes();
}

class PlaybackSessionTest : public PlaybackFixture {
protected:
    // The requests of the main window's Pause and Play buttons.
    void pressPause() { state.requestPause(); }
    void pressPlayWhilePaused() { state.requestResume(); }

    // The first time at or after `from` at which a pass sends a message
    // beyond the `count` sent so far; passes every millisecond.
    std::uint32_t nextSendTime(PlaybackSession& session, std::uint32_t from, std::size_t count)
    {
        std::uint32_t t = from;
        for (; sent().size() == count && t != from + 10000; ++t) {
            session.pass(t);
        }
        return t - 1;
    }

    // Passes at every millisecond from `from` to `to`, both included.
    void passThrough(PlaybackSession& session, std::uint32_t from, std::uint32_t to)
    {
        for (std::uint32_t t = from; t != to + 1; ++t) {
            session.pass(t);
        }
    }
};

TEST_F(PlaybackSessionTest, StartSendsTheSliderVolumeAndStartsTheClockAfterIt)
{
    useSong(threeNotes());
    state.volumePosition.store(40);
    PlaybackSession session(state, observer);
    // Reading and opening take 700 ms on this clock: it moves on once the
    // volume has been sent.
    const MsClock clock = [&] { return sent().empty() ? 9000U : 9700U; };
    ASSERT_TRUE(session.start(clock));
    EXPECT_EQ(sent(), (Messages{controlChange(7, 87)}));
    EXPECT_TRUE(m_service->isDeviceOpen(kController));
    EXPECT_EQ(session.startTime(), 9700U);
    // The first note keeps its whole lead-in after the volume.
    passThrough(session, 9700, 10200);
    EXPECT_EQ(sent().size(), 1U);
    session.pass(10201);
    EXPECT_EQ(sent().back(), noteOn(60, 100));
}

TEST_F(PlaybackSessionTest, EntryIsSentOnlyWhenStrictlyPastItsTime)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(0));
    passThrough(session, 0, 500);
    EXPECT_EQ(sent().size(), 1U);
    const auto result = session.pass(501);
    EXPECT_EQ(sent().back(), noteOn(60, 100));
    EXPECT_EQ(result.wakeAt, std::optional<std::uint32_t>(501));
}

TEST_F(PlaybackSessionTest, WakeTimeNeverLiesBeyondTheNextDueEntry)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(0));
    std::uint32_t now = 0;
    int passes = 0;
    while (true) {
        const auto result = session.pass(now);
        ++passes;
        if (!result.goesOn) {
            break;
        }
        ASSERT_TRUE(result.wakeAt.has_value());
        now = std::max(now, *result.wakeAt);
    }
    // Every entry leaves at the first millisecond it is due, and the loop
    // passes only at progress steps and due times (not once per millisecond).
    EXPECT_EQ(sent(), (Messages{controlChange(7, 31), noteOn(60, 100), noteOn(62, 90), noteOn(64, 0), kAllSoundOff,
                                noteOn(60, 0), noteOn(62, 0), kAllNotesOff}));
    EXPECT_EQ(now, 1501U);
    EXPECT_LT(passes, 150);
    EXPECT_EQ(observer.progressPositions().back(), 127);
}

TEST_F(PlaybackSessionTest, EntriesDueTogetherLeaveOnePerPass)
{
    useSong(SmfBuilder().track().noteOn(0, 0, 60, 1).noteOn(0, 0, 61, 1).noteOn(0, 0, 62, 1).end().bytes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(0));
    session.pass(600);
    EXPECT_EQ(sent().size(), 2U);
    session.pass(600);
    session.pass(600);
    EXPECT_EQ(sent(), (Messages{controlChange(7, 31), noteOn(60, 1), noteOn(61, 1), noteOn(62, 1)}));
}

TEST_F(PlaybackSessionTest, PauseSilencesOnceAndResumeShiftsTheStart)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(20000));
    passThrough(session, 20000, 20600);
    pressPause();
    const auto paused = session.pass(20700);
    EXPECT_FALSE(paused.wakeAt.has_value());  // only a change of the shared state gives work
    passThrough(session, 20701, 25000);
    EXPECT_EQ(sent(), (Messages{controlChange(7, 31), noteOn(60, 100), kAllSoundOff, noteOn(60, 0), kAllNotesOff}));

    // Resumed 2000 ms after the pause: the entry due at 1000 leaves at 3001.
    pressPlayWhilePaused();
    session.pass(22700);
    EXPECT_EQ(state.resumeRequested.load(), 0);
    EXPECT_EQ(session.startTime(), 22000U);
    passThrough(session, 22701, 23000);
    EXPECT_EQ(sent().size(), 5U);
    session.pass(23001);
    EXPECT_EQ(sent().back(), noteOn(62, 90));
}

// Pause and Play that reach the session between two of its passes: only a
// pause that a pass served (silenced, noted its start) moves the song's clock.
struct QuickPauseCase {
    const char* name;
    // Passes run at these times, with the presses in between: 'p' Pause,
    // 'r' Play while paused; a time is one pass.
    std::vector<std::pair<std::uint32_t, const char*>> steps;
    std::uint32_t secondNoteAt;  // when noteOn(62, 90) leaves
};

class QuickPauseTest : public PlaybackSessionTest, public testing::WithParamInterface<QuickPauseCase> {};

TEST_P(QuickPauseTest, OnlyAServedPauseShiftsTheStart)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(20000));
    passThrough(session, 20000, 20600);
    for (const auto& [time, presses] : GetParam().steps) {
        for (const char* press = presses; *press != 0; ++press) {
            *press == 'p' ? pressPause() : pressPlayWhilePaused();
        }
        session.pass(time);
    }
    EXPECT_EQ(state.pauseStartPending.load(), 0);
    const std::size_t before = sent().size();
    EXPECT_EQ(nextSendTime(session, GetParam().steps.back().first, before), GetParam().secondNoteAt);
    EXPECT_EQ(sent().back(), noteOn(62, 90));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QuickPauseTest,
    testing::Values(
        // Never paused: the song runs on its own clock (due 1000 after 20000).
        QuickPauseCase{"PauseAndPlayBetweenPasses", {{20800, "pr"}}, 21001},
        // Paused 300 ms, then Pause and Play between passes: 300 ms only.
        QuickPauseCase{"AfterAServedPause", {{20700, "p"}, {21000, "r"}, {21100, "pr"}}, 21301},
        // The second press of a pause never served: the first pause's start holds.
        QuickPauseCase{"SecondPauseUnserved", {{20700, "p"}, {21000, "pr"}}, 21301},
        // Play, Pause and Play between passes of a served pause.
        QuickPauseCase{"ResumeRepausedUnserved", {{20700, "p"}, {21000, "rpr"}}, 21301}),
    [](const testing::TestParamInfo<QuickPauseCase>& row) { return row.param.name; });

// A pass may run at any moment of a resume. It must never find `paused`
// clear without the request, which would play on unshifted and send every
// note due during the pause at once: the request is written first. A pass
// at each state the flags go through sends nothing that fell due while paused.
TEST_F(PlaybackSessionTest, APassAtAnyPointOfAResumeSendsNothingDueDuringThePause)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(20000));
    passThrough(session, 20000, 20600);
    pressPause();
    session.pass(20700);
    const Messages beforeResume = sent();
    // The writes of requestResume, one at a time, as the worker may see them.
    state.pauseStartPending.store(0);
    session.pass(25000);
    state.resumeRequested.store(1);
    session.pass(25001);
    EXPECT_EQ(sent(), beforeResume);
    state.paused.store(0);
    session.pass(25002);
    // Shifted by 25002 - 20700: the second note leaves 1001 ms after 24302.
    EXPECT_EQ(sent(), beforeResume);
    EXPECT_EQ(nextSendTime(session, 25003, beforeResume.size()), 25303U);
}

// The controller fails at some step: the song ends there, with the reason
// in the status, `playing` cleared, the device closed and looked for again.
struct ControllerFaultCase {
    const char* name;
    bool failOpen;
    std::uint32_t refuseFrom;  // sends fail from this pass on (0: from the start)
    bool pauseFirst;           // a pause is pressed at the refusing pass
    const char* status;
    Messages sent;             // what reached the device
};

class ControllerFaultTest : public PlaybackSessionTest, public testing::WithParamInterface<ControllerFaultCase> {};

TEST_P(ControllerFaultTest, EndsTheSongWithTheReason)
{
    const ControllerFaultCase& row = GetParam();
    useSong(threeNotes());
    m_service->failOpen(kController, row.failOpen);
    m_service->setSendError(kController, row.refuseFrom == 0 ? kSendDeviceGone : 0);
    PlaybackSession session(state, observer);
    bool goesOn = session.start(30000);
    for (std::uint32_t t = 30000; goesOn && t < 32000; ++t) {
        if (t == row.refuseFrom) {
            m_service->setSendError(kController, kSendDeviceGone);
            if (row.pauseFirst) {
                pressPause();
            }
        }
        goesOn = session.pass(t).goesOn;
    }
    EXPECT_FALSE(goesOn);
    EXPECT_EQ(state.playing.load(), 0);
    EXPECT_EQ(observer.statuses(), std::vector<std::string>{row.status});
    EXPECT_EQ(observer.lostReports(), 1);
    EXPECT_EQ(sent(), row.sent);
    EXPECT_FALSE(m_service->isDeviceOpen(kController));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ControllerFaultTest,
    testing::Values(
        ControllerFaultCase{"OpenFails", true, 0, false, kCannotOpenControllerText, {}},
        ControllerFaultCase{"VolumeRefused", false, 0, false, kControllerLostText, {}},
        ControllerFaultCase{"NoteRefused", false, 30800, false, kControllerLostText,
                            {controlChange(7, 31), noteOn(60, 100)}},
        ControllerFaultCase{"PauseRefused", false, 30700, true, kControllerLostText,
                            {controlChange(7, 31), noteOn(60, 100)}}),
    [](const testing::TestParamInfo<ControllerFaultCase>& row) { return row.param.name; });

TEST_F(PlaybackSessionTest, PausingTwiceMovesThePauseStartToTheSecondPress)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(0));
    passThrough(session, 0, 600);
    pressPause();
    session.pass(700);
    state.pauseStartPending.store(1);
    session.pass(900);
    EXPECT_EQ(sent(), (Messages{controlChange(7, 31), noteOn(60, 100), kAllSoundOff, noteOn(60, 0), kAllNotesOff,
                                kAllSoundOff, kAllNotesOff}));
    pressPlayWhilePaused();
    session.pass(1900);  // start moves by 1900 - 900 = 1000
    session.pass(2000);
    EXPECT_EQ(sent().size(), 7U);
    session.pass(2001);
    EXPECT_EQ(sent().back(), noteOn(62, 90));
}

TEST_F(PlaybackSessionTest, RestartWhilePausedWaitsForTheResume)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(0));
    passThrough(session, 0, 1200);
    pressPause();
    session.pass(1300);
    state.restartRequested.store(1);
    session.pass(1400);
    EXPECT_EQ(state.restartRequested.load(), 1);
    EXPECT_EQ(session.nextIndex(), 2U);

    pressPlayWhilePaused();
    session.pass(2000);
    EXPECT_EQ(state.restartRequested.load(), 0);
    EXPECT_EQ(session.nextIndex(), 0U);
    EXPECT_EQ(session.startTime(), 2000U);
    EXPECT_EQ(sent(), (Messages{controlChange(7, 31), noteOn(60, 100), noteOn(62, 90), kAllSoundOff, noteOn(60, 0),
                                noteOn(62, 0), kAllNotesOff, kAllSoundOff, kAllNotesOff}));
    passThrough(session, 2001, 2501);
    EXPECT_EQ(sent().back(), noteOn(60, 100));
}

TEST_F(PlaybackSessionTest, VolumeChangeWhilePausedIsSentAtOnce)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(0));
    pressPause();
    session.pass(100);
    state.pendingVolume.store(50);
    session.pass(200);
    EXPECT_EQ(sent().back(), controlChange(7, 50));
    EXPECT_EQ(state.pendingVolume.load(), -1);
}

TEST_F(PlaybackSessionTest, StopWhilePausedSilencesClosesAndLeavesPausedSet)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(0));
    pressPause();
    session.pass(100);
    state.playing.store(0);
    EXPECT_FALSE(session.pass(200).goesOn);
    EXPECT_EQ(sent(), (Messages{controlChange(7, 31), kAllSoundOff, kAllNotesOff, kAllSoundOff, kAllNotesOff}));
    EXPECT_FALSE(m_service->isDeviceOpen(kController));
    EXPECT_EQ(state.paused.load(), 1);
    EXPECT_EQ(state.playing.load(), 0);
}

TEST_F(PlaybackSessionTest, EndOfListClearsPlayingSilencesAndCloses)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(0));
    passThrough(session, 0, 1501);
    EXPECT_EQ(state.playing.load(), 1);
    EXPECT_FALSE(session.pass(1502).goesOn);
    EXPECT_EQ(state.playing.load(), 0);
    const Messages all = sent();
    EXPECT_EQ(Messages(all.end() - 4, all.end()), (Messages{kAllSoundOff, noteOn(60, 0), noteOn(62, 0), kAllNotesOff}));
    EXPECT_FALSE(m_service->isDeviceOpen(kController));
    EXPECT_EQ(m_service->records().back().kind, VirtualMidiService::Record::Kind::Close);
}

TEST_F(PlaybackSessionTest, AbandonedSessionSilencesTheCoil)
{
    useSong(threeNotes());
    {
        PlaybackSession session(state, observer);
        ASSERT_TRUE(session.start(0));
        session.pass(600);
    }
    EXPECT_EQ(sent(), (Messages{controlChange(7, 31), noteOn(60, 100), kAllSoundOff, noteOn(60, 0), kAllNotesOff}));
    EXPECT_FALSE(m_service->isDeviceOpen(kController));
}

TEST_F(PlaybackSessionTest, SongStartingJustBeforeTheCounterWrapsPlaysInTime)
{
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    const std::uint32_t start = 0xFFFFFF00U;  // 256 ms before the wrap
    ASSERT_TRUE(session.start(start));
    passThrough(session, start, start + 500U);
    EXPECT_EQ(sent().size(), 1U);
    session.pass(start + 501U);
    EXPECT_EQ(sent().back(), noteOn(60, 100));
    passThrough(session, start + 502U, start + 1000U);
    EXPECT_EQ(sent().size(), 2U);
    session.pass(start + 1001U);
    EXPECT_EQ(sent().back(), noteOn(62, 90));
    const auto positions = observer.progressPositions();
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
}

TEST_F(PlaybackSessionTest, ProgressMovesOneStepAtEachOfItsWakeTimes)
{
    // The last entry is due at 1500 ms: a step every 1500 / 127 = 11.8 ms.
    useSong(threeNotes());
    PlaybackSession session(state, observer);
    const std::uint32_t start = 40000;
    ASSERT_TRUE(session.start(start));
    std::vector<std::pair<std::uint32_t, int>> steps;
    std::uint32_t now = start;
    for (auto result = session.pass(now); result.goesOn; result = session.pass(now)) {
        const auto positions = observer.progressPositions();
        if (positions.size() > steps.size()) {
            steps.emplace_back(now - start, positions.back());
        }
        now = std::max(now, *result.wakeAt);
    }
    std::vector<std::pair<std::uint32_t, int>> expected;
    for (int position = 0; position <= 127; ++position) {
        // The first whole millisecond at which elapsed * 127 / 1500 reaches it.
        expected.emplace_back((static_cast<std::uint32_t>(position) * 1500U + 126U) / 127U, position);
    }
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(observer.progressPositions().size(), 128U);
}

struct StopDuringStartCase {
    const char* name;
    // Whether the loader saw the stop and gave up, or had already finished.
    bool loaderSawIt;
};

class PlaybackSessionStoppedDuringStart : public PlaybackFixture,
                                          public testing::WithParamInterface<StopDuringStartCase> {};

TEST_P(PlaybackSessionStoppedDuringStart, OpensNothingAndReportsNothing)
{
    const std::string path = useSong(threeNotes());
    const std::atomic<bool>* flagSeen = nullptr;
    const SongLoad pressStopWhileReading = [&](const std::string& fileName, const Rig& rig,
                                               const PlaybackOptions& options, const std::atomic<bool>* stop,
                                               DiagnosticSink&) {
        flagSeen = stop;
        state.requestStop();
        if (GetParam().loaderSawIt) {
            LoadedRigSong stopped;
            stopped.stopped = true;
            return stopped;
        }
        return loadRigSong(fileName, rig, options);
    };
    PlaybackSession session(state, observer, pressStopWhileReading);
    EXPECT_FALSE(session.start(3000));
    EXPECT_EQ(flagSeen, &state.stopRequested);
    EXPECT_TRUE(m_service->records().empty());
    EXPECT_TRUE(observer.statuses().empty());
    EXPECT_FALSE(session.pass(3100).goesOn);
    EXPECT_TRUE(m_service->records().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, PlaybackSessionStoppedDuringStart,
                         testing::Values(StopDuringStartCase{"WhileTheLoaderRuns", true},
                                         StopDuringStartCase{"AfterItsLastCheck", false}),
                         [](const testing::TestParamInfo<StopDuringStartCase>& param) { return param.param.name; });

struct RefusalCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string status;  // PATH: the song's, SETTINGS: its settings file's
    std::string settings = {};
};

class PlaybackSessionRefuses : public PlaybackFixture, public testing::WithParamInterface<RefusalCase> {};

TEST_P(PlaybackSessionRefuses, ReportsWhyClearsPlayingAndOpensNothing)
{
    const ConfigFolder config;
    const std::string path = useSong(GetParam().bytes);
    FoundSongSettings found;
    std::string error;
    ASSERT_TRUE(findSongSettings(path, found, error));
    if (!GetParam().settings.empty()) {
        std::filesystem::create_directories(std::filesystem::path(found.path).parent_path());
        std::ofstream(found.path) << GetParam().settings;
    }
    PlaybackOptions options;
    options.playChannel = 4;
    state.setOptions(options);
    PlaybackSession session(state, observer);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(session.start(0));
    testing::internal::GetCapturedStdout();
    std::string expected = GetParam().status;
    if (const auto at = expected.find("PATH"); at != std::string::npos) {
        expected.replace(at, 4, path);
    }
    if (const auto at = expected.find("SETTINGS"); at != std::string::npos) {
        expected.replace(at, 8, found.path);
    }
    EXPECT_EQ(observer.statuses(), std::vector<std::string>{expected});
    EXPECT_EQ(state.playing.load(), 0);
    EXPECT_FALSE(anyOpen());
    EXPECT_FALSE(session.pass(10).goesOn);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaybackSessionRefuses,
    testing::Values(
        RefusalCase{"NoNotesOnTheChannel", SmfBuilder().track().noteOn(0, 0, 60, 1).end().bytes(), "No notes found on channel 4!"},
        RefusalCase{"NotAMidiFile", {'R', 'I', 'F', 'F'}, "File: PATH is not a MIDI file"},
        RefusalCase{"BrokenBeforeAnyNote",
                    SmfBuilder().track().noteOn(0, 0, 60, 1).bytes(2),
                    "File: PATH has bad track info"},
        RefusalCase{"InvalidTempo", SmfBuilder().track().event(0, {0xFF, 0x51, 0x03, 0, 0, 0}).noteOn(0, 4, 60, 1).end().bytes(),
                    "Error: invalid tempo event at tick 0"},
        RefusalCase{"SongSettingsThatDoNotParse", SmfBuilder().track().noteOn(0, 4, 60, 1).end().bytes(),
                    "Error: SETTINGS:2: speed must be a whole number from 25 to 400", "\nspeed = 401\n"}),
    [](const testing::TestParamInfo<RefusalCase>& param) { return param.param.name; });

// The controller's client went and came back after another one while nothing
// played: its old number now leads to "Synth". The song goes to the
// controller, whose new number is kept.
TEST_F(PlaybackSessionTest, ControllerNumberedAnewIsLookedUpAgainBeforeTheOpen)
{
    useSong(threeNotes());
    MidiOutput holder;  // the panel's own object keeps the table counted
    m_service->unplug("Quillarc USB Controller");
    m_service->addDevice("Synth");
    m_service->addDevice("Quillarc USB Controller");
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(700));
    EXPECT_EQ(state.controllerPort.load(), 2);
    session.pass(1201);
    EXPECT_EQ(m_service->messages(2), (Messages{controlChange(7, 31), noteOn(60, 100)}));
    EXPECT_EQ(m_service->messages(1), Messages{});
    EXPECT_EQ(observer.lostReports(), 0);
}

TEST_F(PlaybackSessionTest, MissingFileIsReportedAsSuch)
{
    state.setCurrentFileName((m_dir / "gone.mid").string());
    PlaybackSession session(state, observer);
    EXPECT_FALSE(session.start(0));
    EXPECT_EQ(observer.statuses(), std::vector<std::string>{"Error: cannot open file " + (m_dir / "gone.mid").string()});
    EXPECT_FALSE(anyOpen());
}

TEST_F(PlaybackSessionTest, PartlyReadFilePlaysWhatWasReadAndSaysWhy)
{
    useSong(SmfBuilder().track().noteOn(0, 0, 60, 1).raw({0x00, 0x90, 61}).bytes());
    PlaybackSession session(state, observer);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(session.start(0));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(observer.statuses(), std::vector<std::string>{"Error: unexpected end of file"});
    session.pass(501);
    EXPECT_EQ(sent().back(), noteOn(60, 1));
}

TEST_F(PlaybackSessionTest, VelocityCurveAppliesOnlyWhenChosenAndLoaded)
{
    useSong(SmfBuilder().track().noteOn(0, 0, 60, 10).noteOn(0, 0, 61, 20).noteOn(0, 0, 60, 0).end().bytes());
    PlaybackOptions options;
    options.velocityCurve[10] = 99;
    options.velocityCurve[20] = static_cast<std::int8_t>(200 - 256);  // -56 masks to 0x48
    options.velocityCurve[0] = 77;

    const auto play = [&](int customCurve, int curveLoaded) {
        m_service->clear();
        options.customCurve = customCurve;
        options.curveLoaded = curveLoaded;
        state.setOptions(options);
        state.playing.store(1);
        PlaybackSession session(state, observer);
        EXPECT_TRUE(session.start(0));
        for (int i = 0; i < 4; ++i) {
            session.pass(600);
        }
        const Messages all = sent();
        return Messages(all.begin() + 1, all.end());
    };
    const Messages end{kAllSoundOff, noteOn(61, 0), kAllNotesOff};
    EXPECT_EQ(play(1, 1), (Messages{noteOn(60, 99), noteOn(61, 0x48), noteOn(60, 0), end[0], end[1], end[2]}));
    EXPECT_EQ(play(1, 0), (Messages{noteOn(60, 10), noteOn(61, 20), noteOn(60, 0), end[0], end[1], end[2]}));
    EXPECT_EQ(play(0, 1), (Messages{noteOn(60, 10), noteOn(61, 20), noteOn(60, 0), end[0], end[1], end[2]}));
}

}  // namespace

namespace {

// 60 at 100 from 500 to 3000 ms (2.04 % of duty), 96 at 127 from 1000 to 1500 (6.2 %), 30 from 1750 to 1800.
std::vector<std::uint8_t> heldNoteSong()
{
    return SmfBuilder(1, 480)
        .track().noteOn(0, 0, 60, 100).noteOn(480, 0, 96, 127).noteOn(480, 0, 96, 0).noteOn(240, 0, 30, 90)
        .noteOn(48, 0, 30, 0).noteOn(1152, 0, 60, 0).end()
        .bytes();
}

struct LimitedSessionRow {
    const char* name;
    CoilLimits limits;
    char press;  // at 21000: 'p' pause (Play again at 22000), 'r' restart, 's' stop, 'f' seek to 1700, 'n' next, '-' none
    const char* sent;  // by the passes: "T K/V" a note-on, "T x" all-sound-off, "T o" all-notes-off, T after 20000;
                       // "@D back" as below
    const char* status;  // at the end of the song, "" for none
    int leadMs;  // the controller's lead: a message handed ahead shows "@" its due time, " back" when taken back
};

class LimitedSessionTest : public PlaybackSessionTest, public testing::WithParamInterface<LimitedSessionRow> {};

// Passes only at the wake times the session asks for (and at the press), as
// the playback thread does, so a cut that the wake time left out is late.
TEST_P(LimitedSessionTest, SendsThroughTheLimitsAtTheirTimes)
{
    useSong(heldNoteSong());
    PlaybackOptions options;
    options.coilLimits = GetParam().limits;
    state.setOptions(options);
    PlaybackSession session(state, observer);
    std::uint32_t t = 20000;
    m_service->setSchedule(kController, GetParam().leadMs, [&t] { return t; });
    ASSERT_TRUE(session.start(20000));
    ASSERT_EQ(sent(), Messages{controlChange(7, 31)});
    std::vector<std::uint32_t> handedAt(m_service->records().size(), 0);
    std::optional<std::uint32_t> press = 21000;
    bool goesOn = true;
    for (int passes = 0; goesOn && passes < 10000; ++passes) {
        if (press && (t - *press) < 0x80000000U) {
            t = *press;
            const char key = *press == 21000 ? GetParam().press : 'P';
            press = key == 'p' ? std::optional<std::uint32_t>(22000) : std::nullopt;
            key == 'p' ? state.requestPause() : key == 'P' ? state.requestResume() : key == 'r' ? state.requestRestart()
                       : key == 's' ? state.requestStop() : key == 'f' ? state.requestSeek(1700)
                       : key == 'n' ? state.requestStep(1) : void();
        }
        const auto result = session.pass(t);
        handedAt.resize(m_service->records().size(), t);
        goesOn = result.goesOn;
        t = result.wakeAt.value_or(press.value_or(t));
    }
    std::string timed;
    const auto records = m_service->records();
    for (std::size_t i = 2; i < records.size(); ++i) {  // after the open and the volume
        const auto& r = records[i];
        timed += r.kind != VirtualMidiService::Record::Kind::Message ? ""
                 : (timed.empty() ? "" : " ") + std::to_string(handedAt[i] - 20000) + " " +
                       (r.bytes[0] == 0xB0 ? (r.bytes[1] == 120 ? "x" : "o")
                                           : std::to_string(r.bytes[1]) + "/" + std::to_string(r.bytes[2])) +
                       (r.dueMs ? "@" + std::to_string(*r.dueMs - 20000) : "") + (r.takenBack ? " back" : "");
    }
    EXPECT_EQ(timed, GetParam().sent);
    const std::vector<std::string> none;
    EXPECT_EQ(observer.statuses(), *GetParam().status ? std::vector<std::string>{GetParam().status} : none);
}

// 2.04 % + 81 / 2048 is at most 6 %, 82 would not be.
INSTANTIATE_TEST_SUITE_P(
    Rows, LimitedSessionTest,
    testing::Values(
        LimitedSessionRow{"HeldNoteIsCutAtTheMaximumLength", {{}, 700, {}, {}}, '-',
                          "501 60/100 1001 96/127 1201 60/0 1501 96/0 1751 30/90 1801 30/0 3001 60/0 3001 x 3001 o",
                          "Coil limits: 0 notes softened, 0 dropped, 1 cut", 0},
        LimitedSessionRow{"NoCutAfterAPause", {{}, 700, {}, {}}, 'p',
                          "501 60/100 1000 x 1000 60/0 1000 o 2001 96/127 2501 96/0 2751 30/90 2801 30/0 4001 60/0 "
                          "4001 x 4001 o", "", 0},
        LimitedSessionRow{"NoCutOfTheNoteBeforeARestart", {{}, 700, {}, {}}, 'r',
                          "501 60/100 1000 x 1000 60/0 1000 o 1501 60/100 2001 96/127 2201 60/0 2501 96/0 2751 30/90 "
                          "2801 30/0 4001 60/0 4001 x 4001 o",
                          "Coil limits: 0 notes softened, 0 dropped, 1 cut", 0},
        LimitedSessionRow{"NoCutAfterAStop", {{}, 700, {}, {}}, 's', "501 60/100 1000 x 1000 60/0 1000 o", "", 0},
        LimitedSessionRow{"WhatTheLimitsDidIsReportedAtAStop", {{}, {}, 61, {}}, 's', "1000 x 1000 o",
                          "Coil limits: 0 notes softened, 1 dropped, 0 cut", 0},
        LimitedSessionRow{"AndAtNext", {{}, {}, 61, {}}, 'n', "1000 x 1000 o", "Coil limits: 0 notes softened, 1 dropped, 0 cut",
                          0},
        LimitedSessionRow{"SoftenedAndDroppedAreReportedAtTheEnd", {6.0, {}, 36, {}}, '-',
                          "501 60/100 1001 96/81 1501 96/0 1801 30/0 3001 60/0 3001 x 3001 o",
                          "Coil limits: 1 note softened, 1 dropped, 0 cut", 0},
        // Handed 10 ms ahead: the cut in its place, the end once the last note has left.
        LimitedSessionRow{"AheadCutLeavesInItsPlaceAndTheEndWaitsForTheLast", {{}, 700, {}, {}}, '-',
                          "491 60/100@501 991 96/127@1001 1191 60/0@1201 1491 96/0@1501 1741 30/90@1751 1791 "
                          "30/0@1801 2991 60/0@3001 3011 x 3011 o",
                          "Coil limits: 0 notes softened, 0 dropped, 1 cut", 10},
        LimitedSessionRow{"AheadPauseTakesBackAndHandsAgainAfterTheResume", {{}, 700, {}, {}}, 'p',
                          "491 60/100@501 991 96/127@1001 back 1000 x 1000 60/0 1000 o 2000 96/127@2001 2491 "
                          "96/0@2501 2741 30/90@2751 2791 30/0@2801 3991 60/0@4001 4011 x 4011 o", "", 10},
        // 600 ms ahead the pause takes back two: the song goes on from the first.
        LimitedSessionRow{"AheadPauseTakingBackTwoResumesFromTheFirst", {}, 'p',
                          "0 60/100@501 401 96/127@1001 back 901 96/0@1501 back 1000 x 1000 60/0 1000 o 2000 "
                          "96/127@2001 2000 96/0@2501 2151 30/90@2751 2201 30/0@2801 3401 60/0@4001 4601 x 4601 o", "", 600},
        // Next ends the song as Stop does.
        LimitedSessionRow{"AheadNextTakesBack", {{}, 700, {}, {}}, 'n', "491 60/100@501 991 96/127@1001 back 1000 x "
                                                                        "1000 60/0 1000 o", "",
                          10},
        LimitedSessionRow{"AheadSeekTakesBackAndHandsFromThePosition", {{}, 700, {}, {}}, 'f',
                          "491 60/100@501 991 96/127@1001 back 1000 x 1000 60/0 1000 o 1041 30/90@1051 1091 "
                          "30/0@1101 2291 60/0@2301 2311 x 2311 o", "", 10},
        // The softened note taken back is counted once.
        LimitedSessionRow{"AheadRestartTakesBackWhatItCounted", {6.0, {}, 36, {}}, 'r',
                          "491 60/100@501 991 96/81@1001 back 1000 x 1000 60/0 1000 o 1491 60/100@1501 1991 "
                          "96/81@2001 2491 96/0@2501 2791 30/0@2801 3991 60/0@4001 4011 x 4011 o",
                          "Coil limits: 1 note softened, 1 dropped, 0 cut", 10}),
    [](const testing::TestParamInfo<LimitedSessionRow>& row) { return row.param.name; });

// Entries at 500, 1000 and 1000 (due together), 1260 (730 ticks: 760.4 ms
// after the lead-in) and 2000 ms.
std::vector<std::uint8_t> seekSong()
{
    return SmfBuilder(1, 480)
        .track().noteOn(0, 0, 60, 100).noteOn(480, 0, 62, 90).noteOn(0, 0, 64, 80).noteOn(250, 0, 64, 0)
        .noteOn(710, 0, 65, 70).end()
        .bytes();
}

struct SeekRow {
    const char* name;
    const char* presses;  // as playTimed takes them, T after 30000
    const char* sent;
};

class SeekTest : public PlaybackSessionTest, public testing::WithParamInterface<SeekRow> {};

TEST_P(SeekTest, GoesOnFromTheFirstEntryDueAtOrAfterThePosition)
{
    useSong(seekSong());
    state.volumePosition.store(40);
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(30000));
    EXPECT_EQ(playTimed(session, state, [&] { return sent(); }, 30000, GetParam().presses), GetParam().sent);
    EXPECT_FALSE(m_service->isDeviceOpen(kController));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SeekTest,
    testing::Values(
        SeekRow{"ForwardWhilePlaying", "600 +650", "501 60/100 600 x 600 60/0 600 o 611 64/0 1351 65/70 1351 x 1351 "
                                                   "65/0 1351 o"},
        SeekRow{"BackWhilePlaying", "1300 =400",
                "501 60/100 1001 62/90 1001 64/80 1261 64/0 1300 x 1300 60/0 1300 62/0 1300 o 1401 60/100 1901 62/90 "
                "1901 64/80 2161 64/0 2901 65/70 2901 x 2901 60/0 2901 62/0 2901 65/0 2901 o"},
        SeekRow{"OntoTwoEntriesDueTogether", "1700 =1000",
                "501 60/100 1001 62/90 1001 64/80 1261 64/0 1700 x 1700 60/0 1700 62/0 1700 o 1701 62/90 1701 64/80 "
                "1961 64/0 2701 65/70 2701 x 2701 62/0 2701 65/0 2701 o"},
        SeekRow{"JustPastTwoEntriesDueTogether", "1700 =1001",
                "501 60/100 1001 62/90 1001 64/80 1261 64/0 1700 x 1700 60/0 1700 62/0 1700 o 1960 64/0 2700 65/70 "
                "2700 x 2700 65/0 2700 o"},
        SeekRow{"ForwardWhilePausedIsWherePlayResumes", "700 p 900 =1000 1500 r",
                "501 60/100 700 x 700 60/0 700 o 900 x 900 o 1501 62/90 1501 64/80 1761 64/0 2501 65/70 2501 x 2501 "
                "62/0 2501 65/0 2501 o"},
        SeekRow{"BackWhilePaused", "1100 p 1200 -700 1400 r",
                "501 60/100 1001 62/90 1001 64/80 1100 x 1100 60/0 1100 62/0 1100 64/0 1100 o 1200 x 1200 o 1501 "
                "60/100 2001 62/90 2001 64/80 2261 64/0 3001 65/70 3001 x 3001 60/0 3001 62/0 3001 65/0 3001 o"},
        SeekRow{"BeforeTheFirstEntry", "300 =-300", "300 x 300 o 801 60/100 1301 62/90 1301 64/80 1561 64/0 2301 "
                                                    "65/70 2301 x 2301 60/0 2301 62/0 2301 65/0 2301 o"},
        SeekRow{"PastTheLastEndsTheSong", "1100 =9000", "501 60/100 1001 62/90 1001 64/80 1100 x 1100 60/0 1100 62/0 "
                                                        "1100 64/0 1100 o 1100 x 1100 o"},
        SeekRow{"PastTheLastWhilePausedEndsOnPlay", "700 p 800 =9000 1000 r", "501 60/100 700 x 700 60/0 700 o 800 x "
                                                                              "800 o 1000 x 1000 o"},
        SeekRow{"SeeksNotYetServedAddUp", "1700 =1000 1700 +260",
                "501 60/100 1001 62/90 1001 64/80 1261 64/0 1700 x 1700 60/0 1700 62/0 1700 o 1701 64/0 2441 65/70 "
                "2441 x 2441 65/0 2441 o"}),
    [](const testing::TestParamInfo<SeekRow>& row) { return row.param.name; });

struct SpeedRow {
    const char* name;
    const char* presses;  // as playTimed takes them, T after 30000
    const char* sent;
    std::vector<std::string> statuses;
};

class SpeedAndLoopTest : public PlaybackSessionTest, public testing::WithParamInterface<SpeedRow> {};

TEST_P(SpeedAndLoopTest, GoOnFromWhereTheSongIsWithEveryCoilSilencedFirst)
{
    useSong(seekSong());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(30000));
    EXPECT_EQ(playTimed(session, state, [&] { return sent(); }, 30000, GetParam().presses), GetParam().sent);
    EXPECT_FALSE(m_service->isDeviceOpen(kController));
    EXPECT_EQ(observer.statuses(), GetParam().statuses);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SpeedAndLoopTest,
    testing::Values(
        SpeedRow{"DoubleSpeed", "700 *200", "501 60/100 700 x 700 60/0 700 o 851 62/90 851 64/80 981 64/0 1351 65/70 "
                                           "1351 x 1351 62/0 1351 65/0 1351 o", {"length 1250", "Speed 200 %"}},
        SpeedRow{"StepsAddUpBeforeTheyAreServed", "700 ^2 700 ^-1",
                "501 60/100 700 x 700 60/0 700 o 987 62/90 987 64/80 1234 64/0 1939 65/70 1939 x 1939 62/0 1939 "
                "65/0 1939 o", {"length 1928", "Speed 105 %"}},
        SpeedRow{"ClampedToTheFastest", "700 *1000", "501 60/100 700 x 700 60/0 700 o 776 62/90 776 64/80 841 64/0 "
                                                    "1026 65/70 1026 x 1026 62/0 1026 65/0 1026 o",
                 {"length 875", "Speed 400 %"}},
        SpeedRow{"TheLeadInIsNotScaled", "300 *50", "300 x 300 o 501 60/100 1501 62/90 1501 64/80 2021 64/0 3501 "
                                                   "65/70 3501 x 3501 60/0 3501 62/0 3501 65/0 3501 o",
                 {"length 3500", "Speed 50 %"}},
        SpeedRow{"LoopTurnsAtItsEndUntilStopped", "400 L1000-1500 2600 s",
                "501 60/100 1001 62/90 1001 64/80 1261 64/0 1500 x 1500 60/0 1500 62/0 1500 o 1501 62/90 1501 64/80 "
                "1761 64/0 2000 x 2000 62/0 2000 o 2001 62/90 2001 64/80 2261 64/0 2500 x 2500 62/0 2500 o 2501 "
                "62/90 2501 64/80 2600 x 2600 62/0 2600 64/0 2600 o", {}},
        SpeedRow{"LoopGoesOnFromTheFirstEntryAtOrAfterItsStart", "400 L1100-1500 2500 s",
                "501 60/100 1001 62/90 1001 64/80 1261 64/0 1500 x 1500 60/0 1500 62/0 1500 o 1661 64/0 1900 x 1900 o "
                "2061 64/0 2300 x 2300 o 2461 64/0 2500 x 2500 o", {}},
        SpeedRow{"LoopAtDoubleSpeed", "0 *200 400 L1000-1500 1400 s",
                "0 x 0 o 501 60/100 751 62/90 751 64/80 881 64/0 1000 x 1000 60/0 1000 62/0 1000 o 1001 62/90 1001 "
                "64/80 1131 64/0 1250 x 1250 62/0 1250 o 1251 62/90 1251 64/80 1381 64/0 1400 x 1400 62/0 1400 o",
                 {"length 1250", "Speed 200 %"}},
        SpeedRow{"LoopTurnedOffPlaysOnToTheEnd", "400 L1000-1500 1600 l",
                "501 60/100 1001 62/90 1001 64/80 1261 64/0 1500 x 1500 60/0 1500 62/0 1500 o 1501 62/90 1501 64/80 "
                "1761 64/0 2501 65/70 2501 x 2501 62/0 2501 65/0 2501 o", {}}),
    [](const testing::TestParamInfo<SpeedRow>& row) { return row.param.name; });

TEST_F(PlaybackSessionTest, TheSongsSettingsApplyUnlessTheChoicesSayOtherwise)
{
    const ConfigFolder config;
    const std::string song = useSong(seekSong());
    FoundSongSettings found;
    std::string error;
    ASSERT_TRUE(findSongSettings(song, found, error));
    std::filesystem::create_directories(std::filesystem::path(found.path).parent_path());
    std::ofstream(found.path) << "speed = 200\nloop = 1-1.5\n[coil Coil]\ntranspose = 12\n";
    using Choices = AppState::SongChoices;
    for (const auto& [choices, presses, expected, shape] :
         std::vector<std::tuple<Choices, std::string, std::string, std::string>>{
             // A song that loops plays its region from the start, without the lead-in.
             {Choices{}, "450 s",
              "1 74/90 1 76/80 131 76/0 250 x 250 74/0 250 o 251 74/90 251 76/80 381 76/0 450 x 450 74/0 450 o",
              "200 1000-1500 on"},
             {Choices{true, 100, std::nullopt, true}, "600 s",
              "1 74/90 1 76/80 261 76/0 500 x 500 74/0 500 o 501 74/90 501 76/80 600 x 600 74/0 600 76/0 600 o",
              "100 1000-1500 on"},
             {Choices{true, 200, LoopRegion{1900, 2100}, false}, "",
              "501 72/100 751 74/90 751 76/80 881 76/0 1251 77/70 1251 x 1251 72/0 1251 74/0 1251 77/0 1251 o", "200"},
             {Choices{false, std::nullopt, std::nullopt, true}, "",
              "501 60/100 1001 62/90 1001 64/80 1261 64/0 2001 65/70 2001 x 2001 60/0 2001 62/0 2001 65/0 2001 o",
              "100"}}) {
        state.requestPlay(song, -1, *state.options());
        state.setSongChoices(choices);
        PlaybackSession session(state, observer);
        ASSERT_TRUE(session.start(30000));
        EXPECT_EQ(playTimed(session, state, [&] { return sent(); }, 30000, presses), expected) << presses;
        EXPECT_EQ(observer.shape(), shape) << presses;
        m_service->clear();
    }
}

TEST_F(PlaybackSessionTest, SongTimeIsReportedAtEachWholeSecondAndAfterASeek)
{
    useSong(seekSong());
    PlaybackSession session(state, observer);
    ASSERT_TRUE(session.start(30000));
    playTimed(session, state, [&] { return sent(); }, 30000, "1500 =250");
    EXPECT_EQ(observer.songTimes(), (std::vector<int>{0, 1000, 250, 1000, 2000}));
}

// Lead plays channel 0 on the controller, Bass channel 1 an octave up on its
// own device with half the volume; channel 2 is no coil's.
TEST_F(PlaybackSessionTest, ARigPlaysOnOneSongClockAndEveryWayOutSilencesEveryCoil)
{
    constexpr int kBass = 2;
    m_service = std::make_shared<VirtualMidiService>(
        std::vector<std::string>{"Other Synth", "Quillarc USB Controller", "Bass Coil"});
    ASSERT_TRUE(MidiOutPort::installService(m_service));
    Rig rig;
    std::string error;
    ASSERT_TRUE(parseRig("[coil Lead]\nchannels = 0\n[coil Bass]\ndevice = Bass Coil\nchannels = 1\n"
                         "transpose = 12\nvolume_percent = 50\n", "rig.conf", rig, error));
    state.setRig(rig);
    state.volumePosition.store(40);
    useSong(SmfBuilder().track().noteOn(240, 0, 60, 100).noteOn(0, 1, 50, 90).noteOn(0, 2, 70, 80)
                .noteOff(480, 0, 60).noteOff(240, 1, 50).noteOff(0, 2, 70).end().bytes());
    // Every message to either coil in the order sent, Bass's marked as on channel 1.
    const auto bothCoils = [&] {
        Messages all;
        for (const auto& record : m_service->records()) {
            if (record.kind == VirtualMidiService::Record::Kind::Message) {
                all.push_back({static_cast<std::uint8_t>(record.bytes[0] | (record.device == kBass ? 1 : 0)),
                               record.bytes[1], record.bytes[2]});
            }
        }
        return all;
    };
    const struct {
        const char* name;
        const char* presses;
        std::size_t bassLostAfter;  // messages to both coils, 0: never
        const char* timed;
    } rows[] = {
        {"plays out", "", 0, "751 60/100 751 @1:62/90 1251 60/0 1501 @1:62/0 1501 x 1501 o 1501 @1:x 1501 @1:o"},
        {"a pause silences both and the resume goes on", "900 p 1400 r", 0,
         "751 60/100 751 @1:62/90 900 x 900 60/0 900 o 900 @1:x 900 @1:62/0 900 @1:o 1751 60/0 "
         "2001 @1:62/0 2001 x 2001 o 2001 @1:x 2001 @1:o"},
        {"a seek silences both and each goes on from its own next entry", "800 =1300", 0,
         "751 60/100 751 @1:62/90 800 x 800 60/0 800 o 800 @1:x 800 @1:62/0 800 @1:o 1001 @1:62/0 "
         "1001 x 1001 o 1001 @1:x 1001 @1:o"},
        {"stop silences both", "800 s", 0,
         "751 60/100 751 @1:62/90 800 x 800 60/0 800 o 800 @1:x 800 @1:62/0 800 @1:o"},
        {"the lost coil ends the song on both", "", 3, "751 60/100 751 x 751 60/0 751 o"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_service->clear();
        m_service->setSendError(kBass, 0);
        state.playing.store(1);
        state.stopRequested.store(false);
        RecordingObserver seen;
        PlaybackSession session(state, seen);
        ASSERT_TRUE(session.start(7000));
        // Each coil its share of the volume (87 x 50 / 100).
        EXPECT_EQ(bothCoils(), (Messages{controlChange(7, 87), {0xB1, 7, 43}}));
        const auto sent = [&] {
            Messages all = bothCoils();
            if (row.bassLostAfter != 0 && all.size() >= row.bassLostAfter) {
                m_service->setSendError(kBass, kSendDeviceGone);
            }
            return all;
        };
        EXPECT_EQ(playTimed(session, state, sent, 7000, row.presses), row.timed);
        EXPECT_EQ(state.playing.load(), 0);
        EXPECT_EQ(seen.statuses(), row.bassLostAfter == 0
                                       ? std::vector<std::string>{}
                                       : std::vector<std::string>{"Error: lost the connection to coil Bass (Bass Coil)"});
        EXPECT_EQ(seen.lostReports(), row.bassLostAfter == 0 ? 0 : 1);
        EXPECT_FALSE(m_service->isDeviceOpen(1) || m_service->isDeviceOpen(kBass));
    }
}

}  // namespace
