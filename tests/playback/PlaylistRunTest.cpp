#include "PlaybackFixture.h"
#include "playback/PlaylistRun.h"

namespace {

struct RunRow {
    const char* name;
    const char* files;  // a letter a file: A, B, C play keys 60, 62, 64 at 500 ms (off at 1000); x is no MIDI file
    int first;          // playingIndex when the run starts
    bool whole;
    bool repeat;
    const char* presses;  // as playTimed takes them, T after 50000
    const char* sent;     // by the passes (the first start's volume is before them)
    std::vector<int> playing;
    std::size_t statuses;
};

class PlaylistRunTest : public PlaybackFixture, public testing::WithParamInterface<RunRow> {};

TEST_P(PlaylistRunTest, PlaysTheFilesThatFollowEachFromItsLeadIn)
{
    const RunRow& row = GetParam();
    std::vector<std::string> files;
    for (const char* f = row.files; *f != '\0'; ++f) {
        const int key = 60 + 2 * (*f - 'A');
        files.push_back(useSong(*f == 'x' ? std::vector<std::uint8_t>{'n', 'o', 'p', 'e'}
                                          : SmfBuilder(1, 480).track().noteOn(0, 0, key, 100).noteOn(480, 0, key, 0).end().bytes(),
                                std::string(1, *f) + std::to_string(files.size()) + ".mid"));
    }
    state.setPlaylist(files);
    state.playingIndex.store(row.first);
    state.wholePlaylist.store(row.whole ? 1 : 0);
    state.repeatPlaylist.store(row.repeat ? 1 : 0);
    state.volumePosition.store(40);
    std::uint32_t now = 50000;
    PlaylistRun run(state, observer, loadRigSong, [&] { return now; });
    testing::internal::CaptureStdout();
    const bool started = run.start();
    const std::string timed = started ? playTimed(run, state, [&] { return sent(); }, 50000, row.presses, &now) : "";
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(timed, row.sent);
    EXPECT_EQ(observer.playingIndices(), row.playing);
    EXPECT_EQ(observer.statuses().size(), row.statuses);
    EXPECT_EQ(state.playing.load(), 0);
    EXPECT_EQ(state.paused.load(), 0);
    EXPECT_EQ(run.session(), nullptr);
    EXPECT_FALSE(m_service->isDeviceOpen(kController));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlaylistRunTest,
    testing::Values(
        RunRow{"OneFileWhenTheWholePlaylistIsOff", "ABC", 0, false, false, "", "501 60/100 1001 60/0 1001 x 1001 o",
               {0}, 0},
        RunRow{"WholePlaylistInOrder", "ABC", 0, true, false, "",
               "501 60/100 1001 60/0 1001 x 1001 o 1001 v87 1502 62/100 2002 62/0 2002 x 2002 o 2002 v87 2503 64/100 "
               "3003 64/0 3003 x 3003 o",
               {0, 1, 2}, 0},
        RunRow{"NextMidSong", "ABC", 0, false, false, "700 n",
               "501 60/100 700 x 700 60/0 700 o 700 v87 1201 62/100 1701 62/0 1701 x 1701 o", {0, 1}, 0},
        RunRow{"ASeekAskedWithNextIsNotTheNextFilesOwn", "ABC", 0, false, false, "700 =900 700 n",
               "501 60/100 700 x 700 60/0 700 o 700 v87 1201 62/100 1701 62/0 1701 x 1701 o", {0, 1}, 0},
        RunRow{"NextOnTheLastStops", "ABC", 2, false, false, "700 n", "501 64/100 700 x 700 64/0 700 o", {2}, 0},
        RunRow{"NextOnTheLastWithRepeatGoesToTheFirst", "ABC", 2, false, true, "700 n 1500 s",
               "501 64/100 700 x 700 64/0 700 o 700 v87 1201 60/100 1500 x 1500 60/0 1500 o", {2, 0}, 0},
        RunRow{"PreviousOnTheFirstPlaysItAgain", "ABC", 0, false, false, "700 v 1500 s",
               "501 60/100 700 x 700 60/0 700 o 700 v87 1201 60/100 1500 x 1500 60/0 1500 o", {0, 0}, 0},
        RunRow{"PreviousWithRepeatGoesToTheLast", "ABC", 0, false, true, "700 v 1500 s",
               "501 60/100 700 x 700 60/0 700 o 700 v87 1201 64/100 1500 x 1500 64/0 1500 o", {0, 2}, 0},
        RunRow{"WholePlaylistWithRepeatGoesRound", "ABC", 2, true, true, "1500 s",
               "501 64/100 1001 64/0 1001 x 1001 o 1001 v87 1500 x 1500 o", {2, 0}, 0},
        RunRow{"NextWhilePausedPlaysTheNextFromItsLeadIn", "ABC", 0, false, false, "600 p 800 n",
               "501 60/100 600 x 600 60/0 600 o 800 x 800 o 800 v87 1301 62/100 1801 62/0 1801 x 1801 o", {0, 1}, 0},
        RunRow{"WholePlaylistGoesOnPastAFileItCannotPlay", "AxC", 0, true, false, "",
               "501 60/100 1001 60/0 1001 x 1001 o 1001 v87 1502 64/100 2002 64/0 2002 x 2002 o", {0, 1, 2}, 1},
        RunRow{"AnIndexPastThePlaylistPlaysTheCurrentFileAlone", "ABC", 3, true, true, "",
               "501 64/100 1001 64/0 1001 x 1001 o", {}, 0},
        RunRow{"StopsAfterARoundOfFilesItCannotPlay", "xxx", 1, true, true, "", "", {1, 2, 0}, 3},
        RunRow{"WholePlaylistGoesOnFromWhereTheSongsFileIsAfterAnEdit", "ABC", 1, true, false, "700 e",
               "501 62/100 1001 62/0 1001 x 1001 o 1001 v87 1502 64/100 2002 64/0 2002 x 2002 o", {1, 1}, 0},
        RunRow{"TheSongWhoseFileWasRemovedEndsTheRun", "ABC", 0, true, true, "700 e", "501 60/100 1001 60/0 1001 x 1001 o",
               {0}, 0}),
    [](const testing::TestParamInfo<RunRow>& row) { return row.param.name; });

TEST(TransportRequestTest, EachWakesAWaitingWorker)
{
    for (const auto& request : std::vector<std::function<void(AppState&)>>{
             [](AppState& s) { s.requestSeek(1500); }, [](AppState& s) { s.requestSeekBy(-2500); },
             [](AppState& s) { s.requestStep(-1); }, [](AppState& s) { s.requestSpeed(150); },
             [](AppState& s) { s.requestSpeedStep(-1); },
             [](AppState& s) { s.setLoop({LoopRegion{700, 900}, true}); }}) {
        AppState state;
        state.playing.store(1);
        const std::uint64_t seen = state.changeCount();
        request(state);
        EXPECT_NE(state.changeCount(), seen);
    }
}

TEST(FollowingFileTest, StepsThroughThePlaylist)
{
    struct Row {
        int index, count, step;
        bool repeat;
        std::optional<int> expected;
    };
    for (const Row& row : std::vector<Row>{{1, 3, 1, false, 2},
                                           {2, 3, 1, false, std::nullopt},
                                           {2, 3, 1, true, 0},
                                           {0, 3, -1, false, 0},
                                           {0, 3, -1, true, 2},
                                           {1, 3, 5, true, 0},
                                           {1, 3, 2, false, std::nullopt},
                                           {0, 0, 1, true, std::nullopt}}) {
        EXPECT_EQ(followingFile(row.index, row.count, row.step, row.repeat), row.expected)
            << row.index << " " << row.count << " " << row.step << " " << row.repeat;
    }
}

}  // namespace
