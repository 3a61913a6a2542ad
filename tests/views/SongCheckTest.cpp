#include "views/SongCheck.h"

#include "coilmodel/CoilModel.h"
#include "rig/RigFile.h"
#include "support/SmfBuilder.h"
#include "support/SongFolder.h"

#include <gtest/gtest.h>

namespace {

// A track named `name`: FF 03, its length, the text.
SmfBuilder& named(SmfBuilder& song, const std::string& name)
{
    song.track().delta(0).raw({0xFF, 0x03, static_cast<int>(name.size())});
    for (const char c : name) {
        song.raw({c});
    }
    return song;
}

// 500 ticks a quarter at 120 bpm: a tick is a millisecond. Setup sets the
// volume of channels 2 and 9 (no notes: not their track); Lead (channel 0)
// strikes 60, 64 over it and 100; Bass (1) holds 40 for a second, then 45;
// Strings (2) has 4 notes and Drums (9) 11: 20 in all.
std::vector<std::uint8_t> madeUpSong()
{
    SmfBuilder song(1, 500);
    named(song, "Setup").event(0, {0xB2, 7, 100}).event(0, {0xB9, 7, 100}).end();
    named(song, "Lead").noteOn(0, 0, 60, 90).noteOn(100, 0, 64, 90).noteOn(100, 0, 100, 90);
    song.noteOff(100, 0, 60).noteOff(0, 0, 64).noteOff(0, 0, 100).end();
    named(song, "Bass").noteOn(0, 1, 40, 100).noteOff(1000, 1, 40).noteOn(250, 1, 45, 100).noteOff(100, 1, 45).end();
    named(song, "Strings");
    for (const int key : {50, 52, 53, 55}) {
        song.noteOn(0, 2, key, 60).noteOff(10, 2, key);
    }
    song.end();
    named(song, "Drums");
    for (int i = 0; i < 11; ++i) {
        song.noteOn(7, 9, 36, 120).noteOff(3, 9, 36);
    }
    return song.end().bytes();
}

struct CheckRow {
    const char* name;
    const char* rig;
    std::vector<CheckedChannel> unplayed;
    std::optional<CheckedChannel> suggestion;
    const char* summary;
};

class SongCheckTest : public SongFolder, public testing::WithParamInterface<CheckRow> {};

TEST_P(SongCheckTest, EachFindingIsCountedFromTheCoilsNoteLists)
{
    Rig rig;
    std::string error;
    ASSERT_TRUE(parseRig(GetParam().rig, "rig.conf", rig, error)) << error;
    const SongCheck check = checkSong(write("song.mid", madeUpSong()), rig, PlaybackOptions{});
    ASSERT_FALSE(check.error);
    EXPECT_EQ(check.unplayed, GetParam().unplayed);
    EXPECT_EQ(check.suggestion, GetParam().suggestion);
    EXPECT_EQ(checkSummaryLine(check), GetParam().summary);
}

const char* const kTwoCoils = "[coil Lead]\ndevice = A\nchannels = 0\nvoices = 1\nkeep = latest\ntranspose = 30\n"
                              "[coil Bass]\ndevice = B\nchannels = 1\nduty_limit_percent = 0.5\nmax_note_ms = 300\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, SongCheckTest,
    testing::Values(
        // Lead: 64 (94) steals 60 (90), 100 (130) leaves the keys; Bass: both
        // notes softened under 0.5 %, 40 held past 300 ms.
        CheckRow{"TwoCoils", kTwoCoils, {{2, 4, "Strings"}, {9, 11, "Drums"}}, std::nullopt,
                 "Check: 15 notes on channels no coil plays, 1 dropped on Lead, 1 stolen on Lead, 2 softened on Bass, "
                 "1 too long on Bass"},
        // Nothing played: the busiest channel that is not the drums'.
        CheckRow{"NothingPlayedSuggestsATune", "[coil Solo]\ndevice = A\nchannels = 5\n",
                 {{0, 3, "Lead"}, {1, 2, "Bass"}, {2, 4, "Strings"}, {9, 11, "Drums"}}, CheckedChannel{2, 4, "Strings"},
                 "Check: 20 notes on channels no coil plays"},
        // 2 of 20 notes is a tenth: not "very little".
        CheckRow{"ATenthPlayedSuggestsNothing", "[coil Low]\ndevice = A\nchannels = 1\n",
                 {{0, 3, "Lead"}, {2, 4, "Strings"}, {9, 11, "Drums"}}, std::nullopt,
                 "Check: 18 notes on channels no coil plays"},
        CheckRow{"EverythingPlayed", "[coil All]\ndevice = A\nchannels = 0-2, 9\n", {}, std::nullopt, ""}),
    [](const testing::TestParamInfo<CheckRow>& row) { return std::string(row.param.name); });

TEST_F(SongCheckTest, CoilFiguresAndTheirCsvRows)
{
    Rig rig;
    std::string error;
    ASSERT_TRUE(parseRig(kTwoCoils, "rig.conf", rig, error)) << error;
    const SongCheck check = checkSong(write("song.mid", madeUpSong()), rig, PlaybackOptions{});
    ASSERT_EQ(check.coils.size(), 2U);
    const CoilCheck& lead = check.coils[0];
    EXPECT_EQ(lead.counts, (CoilNoteCounts{2, 1, 0, 1, 1}));
    EXPECT_EQ(lead.maxNoteMs, std::nullopt);
    const CoilCheck& bass = check.coils[1];
    EXPECT_EQ(bass.counts, (CoilNoteCounts{2, 0, 0, 0, 1}));
    // The song's own peak, the limit left out: 45 at velocity 100.
    EXPECT_EQ(bass.dutyPeak, noteDuty(45, 100));
    EXPECT_EQ(bass.dutyPeakMs, 500 + 1250);
    EXPECT_EQ(bass.limited, (CoilLimitCounts{2, 0, 1}));
    EXPECT_EQ(bass.longNotes, 1);
    const std::string csv = checkReportCsv("a,b.mid", check);
    EXPECT_EQ(csv.substr(0, csv.find('\n', csv.find('\n') + 1) + 1),
              "\"a,b.mid\",unplayed_channel,,2,4,,,Strings\n\"a,b.mid\",unplayed_channel,,9,11,,,Drums\n");
    EXPECT_NE(csv.find("\"a,b.mid\",duty_peak,Bass,,,0.86,0.5,\n\"a,b.mid\",limit_softened,Bass,,2,,,\n"
                       "\"a,b.mid\",limit_dropped,Bass,,0,,,\n\"a,b.mid\",long_notes,Bass,,1,,300,\n"),
              std::string::npos)
        << csv;
}

TEST_F(SongCheckTest, AMissingSongIsAnError)
{
    const SongCheck check = checkSong((m_dir / "gone.mid").string(), defaultRig(PlaybackOptions{}), PlaybackOptions{});
    EXPECT_EQ(check.error, "Error: cannot open file " + (m_dir / "gone.mid").string());
    EXPECT_EQ(checkSummaryLine(check), "Check: " + *check.error);
}

}  // namespace
