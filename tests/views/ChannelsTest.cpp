#include "views/Channels.h"
#include "support/PrintedLines.h"

#include "song/NoteList.h"
#include "support/SmfBuilder.h"
#include "support/SongFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <sstream>

namespace {

void prepare(MidiFile& file, const std::vector<std::uint8_t>& bytes)
{
    file.loadBytes(bytes, "generated.mid");
    file.toAbsoluteTicks();
    file.mergeTracks();
}

TEST(ChannelSurvey, CountsPositiveNoteOnsAndTimesEveryEntryOfEachChannel)
{
    // 96 ticks per quarter at 120 bpm: a tick is 5.208 ms.
    MidiFile file;
    prepare(file, SmfBuilder(1, 96)
                      .track()
                      .noteOn(10, 9, 36, 100)
                      .noteOn(0, 2, 60, 0)  // a release, not a note
                      .noteOff(7, 9, 36)
                      .noteOn(0, 5, 61, 1)
                      .end()
                      .track()
                      .noteOff(3, 1, 40)  // channel 1 only releases
                      .noteOn(100, 2, 62, 80)
                      .noteOff(1000, 5, 61)
                      .end()
                      .bytes());
    // Channel 2's list opens with its release at tick 10; channel 5 runs from tick 17 to 1103.
    EXPECT_EQ(surveyChannels(file, PlaybackOptions{}).channels,
              (std::vector<ChannelNotes>{{2, 1, 552, 1036}, {5, 1, 588, 6244}, {9, 1, 552, 588}}));
}

TEST(ChannelSurvey, TheFirstErrorInEventOrderIsReportedAndEachChannelCountsUpToItsOwn)
{
    // One tick is 16.78 s at the slowest tempo: tick 200010 is past 32-bit milliseconds.
    MidiFile file;
    prepare(file, SmfBuilder(0, 1).track().tempo(0, 0xFFFFFF).noteOn(10, 4, 60, 9).noteOn(200000, 7, 60, 9).tempo(0, 0).end().bytes());
    const ChannelSurvey survey = surveyChannels(file, PlaybackOptions{});
    EXPECT_EQ(survey.channels, (std::vector<ChannelNotes>{{4, 1, 168272, 168272}}));
    EXPECT_EQ(survey.error, "Error: note time out of range at tick 200010");
}

// Random notes, releases and controllers on a few channels, with tempo changes
// that may be invalid or so slow that later times pass 32 bits.
std::vector<std::uint8_t> randomSong(std::mt19937& random)
{
    auto roll = [&random](int below) { return std::uniform_int_distribution<int>(0, below - 1)(random); };
    SmfBuilder song(1, std::array{1, 96, 480}[static_cast<std::size_t>(roll(3))]);
    const int channels = 1 + roll(5);
    const int firstChannel = roll(17 - channels);
    for (int tracks = 1 + roll(3); tracks > 0; --tracks) {
        song.track();
        for (int events = roll(100); events > 0; --events) {
            const int kind = roll(100);
            const auto delta = static_cast<std::uint32_t>(roll(100) == 0 ? 400000 : roll(400));
            const int channel = firstChannel + roll(channels);
            if (kind < 45) {
                song.noteOn(delta, channel, 20 + roll(80), kind < 10 ? 0 : roll(128));
            } else if (kind < 85) {
                song.noteOff(delta, channel, 20 + roll(80));
            } else if (kind < 92) {
                song.event(delta, {0xB0 | channel, 7, roll(128)});
            } else {
                const int tempo = roll(100);
                song.tempo(delta, tempo < 2 ? 0 : tempo < 20 ? 0xFFFFFF : 250000 + 5000 * static_cast<std::uint32_t>(tempo));
            }
        }
        song.end();
    }
    return song.bytes();
}

TEST(ChannelSurvey, OnePassGivesWhatExtractingEachChannelGives)
{
    std::mt19937 random(8122026);
    std::ostringstream quiet;  // extraction announces tempo changes
    int withError = 0;
    for (int round = 0; round < 300; ++round) {
        MidiFile file;
        prepare(file, randomSong(random));
        PlaybackOptions options;
        options.shiftLowNotes = round % 2;
        options.lowerLimit = 60;

        std::vector<ChannelNotes> expected;
        std::vector<std::string> errors;
        std::streambuf* const saved = std::cout.rdbuf(quiet.rdbuf());
        for (options.playChannel = 0; options.playChannel < 16; ++options.playChannel) {
            const NoteList list = extractNotes(file, options);
            const auto notes = std::count_if(list.entries.begin(), list.entries.end(), [](const auto& e) { return e.velocity > 0; });
            if (notes > 0) {
                expected.push_back({options.playChannel, notes, list.entries.front().timeMs, list.entries.back().timeMs});
            }
            if (list.error) {
                errors.push_back(*list.error);
            }
        }
        std::cout.rdbuf(saved);

        options.playChannel = round % 16;
        const ChannelSurvey survey = surveyChannels(file, options);
        ASSERT_EQ(survey.channels, expected) << "round " << round;
        ASSERT_EQ(survey.error.has_value(), !errors.empty()) << "round " << round;
        if (survey.error) {
            ++withError;
            EXPECT_NE(std::find(errors.begin(), errors.end(), *survey.error), errors.end()) << *survey.error;
        }
    }
    EXPECT_GT(withError, 10) << "the generator must reach the error paths";
}

// A raised stop flag ends the read, not only what comes after it.
class ChannelFileSurveyStop : public SongFolder {};

TEST_F(ChannelFileSurveyStop, ARaisedFlagEndsTheRead)
{
    PlaybackOptions options;
    options.playChannel = 3;
    const std::atomic<bool> stop{true};
    PrintedLines printed;
    const ChannelFileSurvey survey = surveyChannelsOfFile(write("cut.mid", SmfBuilder(0, 480).track().noteOn(10, 3, 60, 64).raw({0, 0x93}).bytes()), options, &stop, printed);
    EXPECT_EQ(std::tuple(printed.text, survey.stopped, survey.read.status), std::tuple("", true, ReadResult::Status::Stopped));
}

TEST(ChannelNotesLine, NamesEachChannelWithItsCountOrNothing)
{
    EXPECT_EQ(channelNotesLine({}), "");
    EXPECT_EQ(channelNotesLine({{1, 412, 500, 600}, {2, 130, 700, 800}, {9, 800, 900, 1000}}),
              "Notes in this file: channel 1: 412, channel 2: 130, channel 9: 800");
}

}  // namespace
