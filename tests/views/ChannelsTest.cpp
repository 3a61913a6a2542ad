#include "views/Channels.h"

#include "playback/NoteList.h"
#include "support/SmfBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <sstream>

void PrintTo(const ChannelNotes& c, std::ostream* out)
{
    *out << "{channel " << c.channel << ": " << c.notes << ", " << c.firstMs << ".." << c.lastMs << "}";
}

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
                      .event(0, {0xB5, 7, 100})
                      .noteOff(1000, 5, 61)
                      .end()
                      .bytes());
    const ChannelSurvey survey = surveyChannels(file, PlaybackOptions{});
    const std::vector<ChannelNotes> expected{
        {2, 1, 552, 1036},  // the release at tick 10 opens its list; the note at tick 103
        {5, 1, 588, 6244},  // ticks 17 and 1103
        {9, 1, 552, 588},
    };
    EXPECT_EQ(survey.channels, expected);
    EXPECT_FALSE(survey.error.has_value());
}

// A song of random events on a few channels, with tempo changes that may be
// invalid and gaps that may push times past 32 bits.
std::vector<std::uint8_t> randomSong(std::mt19937& random)
{
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> channel(0, 15);
    std::uniform_int_distribution<int> key(20, 100);
    std::uniform_int_distribution<int> velocity(0, 127);
    std::uniform_int_distribution<std::uint32_t> delta(0, 400);
    const int divisions[] = {1, 96, 480};
    SmfBuilder song(1, divisions[percent(random) % 3]);
    const int channels = 1 + percent(random) % 5;
    const int firstChannel = channel(random) % (17 - channels);
    const int tracks = 1 + percent(random) % 3;
    for (int t = 0; t < tracks; ++t) {
        song.track();
        const int events = percent(random);
        for (int e = 0; e < events; ++e) {
            const int roll = percent(random);
            const std::uint32_t d = percent(random) == 0 ? 400000 : delta(random);
            const int c = firstChannel + channel(random) % channels;
            if (roll < 45) {
                song.noteOn(d, c, key(random), roll < 10 ? 0 : velocity(random));
            } else if (roll < 85) {
                song.noteOff(d, c, key(random));
            } else if (roll < 92) {
                song.event(d, {0xB0 | c, 7, velocity(random)});
            } else {
                const int tempo = percent(random);
                song.tempo(d, tempo < 2 ? 0 : tempo < 20 ? 0xFFFFFF : 250000 + 5000 * static_cast<std::uint32_t>(tempo));
            }
        }
        song.end();
    }
    return song.bytes();
}

TEST(ChannelSurvey, OnePassGivesWhatExtractingEachChannelGives)
{
    std::mt19937 random(8122026);
    std::ostringstream quiet;
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
        for (std::int32_t c = 0; c < 16; ++c) {
            options.playChannel = c;
            const NoteList list = extractNotes(file, options);
            const auto notes = std::count_if(list.entries.begin(), list.entries.end(),
                                             [](const NoteListEntry& e) { return e.velocity > 0; });
            if (notes > 0) {
                expected.push_back({c, notes, list.entries.front().timeMs, list.entries.back().timeMs});
            }
            if (list.error) {
                errors.push_back(*list.error);
            }
        }
        std::cout.rdbuf(saved);
        quiet.str("");

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

TEST(ChannelSurvey, TheFirstErrorInEventOrderIsReported)
{
    MidiFile file;
    prepare(file, SmfBuilder(0, 1).track().tempo(0, 0xFFFFFF).noteOn(10, 4, 60, 9).noteOn(200000, 7, 60, 9).tempo(0, 0).end().bytes());
    const ChannelSurvey survey = surveyChannels(file, PlaybackOptions{});
    EXPECT_EQ(survey.channels, (std::vector<ChannelNotes>{{4, 1, 168272, 168272}}));
    EXPECT_EQ(survey.error, "Error: note time out of range at tick 200010");
}

TEST(ChannelNotesLine, NamesEachChannelWithItsCountOrNothing)
{
    EXPECT_EQ(channelNotesLine({}), "");
    EXPECT_EQ(channelNotesLine({{9, 800, 500, 9000}}), "Notes in this file: channel 9: 800");
    EXPECT_EQ(channelNotesLine({{1, 412, 500, 600}, {2, 130, 700, 800}, {9, 800, 900, 1000}}),
              "Notes in this file: channel 1: 412, channel 2: 130, channel 9: 800");
}

}  // namespace
