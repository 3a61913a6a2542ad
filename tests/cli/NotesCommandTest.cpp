#include "RunProgram.h"
#include "support/SmfBuilder.h"
#include "support/SongFolder.h"

#include <gtest/gtest.h>

namespace {

class NotesCommand : public SongFolder {
protected:
    static ProgramRun notes(const std::string& args) { return runProgram(std::string(QUILLARC_CLI) + " notes " + args); }
};

TEST_F(NotesCommand, PrintsTheNoteListAsCsvAndDiagnosticsOnStandardError)
{
    const std::string song =
        write("song.mid", SmfBuilder(1, 480).track().tempo(0, 1000000).end().track().noteOn(0, 2, 40, 90).noteOff(480, 2, 40).end().bytes());
    const ProgramRun run = notes(song + " --channel 2 --shift-low-notes --lower-limit 45");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "time_ms,key,velocity\n500,48,90\n1500,48,0\n");
    EXPECT_EQ(run.err, "Tempo change detected, new tempo = 60\n");
}

TEST_F(NotesCommand, ChannelWithoutNotesPrintsOnlyTheHeader)
{
    const std::string song = write("song.mid", SmfBuilder().track().noteOn(0, 0, 60, 1).end().bytes());
    const ProgramRun run = notes(song + " --channel 5");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "time_ms,key,velocity\n");
}

TEST_F(NotesCommand, FailedReadPrintsWhatWasReadAndExitsOne)
{
    const std::string song = write("cut.mid", SmfBuilder().track().noteOn(0, 0, 60, 1).raw({0, 0x90, 61}).bytes());
    const ProgramRun run = notes(song);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "time_ms,key,velocity\n500,60,1\n");
    EXPECT_EQ(run.err, "Error: unexpected end of file\n");
}

TEST_F(NotesCommand, NotAMidiFileAndMissingFileExitOne)
{
    const std::string text = write("text.mid", {'h', 'e', 'l', 'l', 'o'});
    ProgramRun run = notes(text);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "File: " + text + " is not a MIDI file\nChara data ish\n");
    run = notes((m_dir / "missing.mid").string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot open"), std::string::npos);
}

TEST_F(NotesCommand, BadTempoExitsOneWithItsMessage)
{
    const std::string song = write("tempo.mid", SmfBuilder().track().event(0, {0xFF, 0x51, 0x03, 0, 0, 0}).end().bytes());
    const ProgramRun run = notes(song);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Error: invalid tempo event at tick 0\n");
}

TEST_F(NotesCommand, BadArgumentsExitTwoWithOneLine)
{
    for (const std::string args : {"", "--channel", "x.mid --channel three", "x.mid --channel 16", "x.mid --channel -1", "x.mid --bogus",
                                   "a.mid b.mid"}) {
        const ProgramRun run = notes(args);
        EXPECT_EQ(run.exitCode, 2) << args;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
        EXPECT_EQ(run.out, "") << args;
    }
    EXPECT_EQ(runProgram(std::string(QUILLARC_CLI) + " frobnicate").exitCode, 2);
}

TEST_F(NotesCommand, HelpDescribesEveryOption)
{
    const ProgramRun run = notes("--help");
    EXPECT_EQ(run.exitCode, 0);
    for (const char* option : {"--channel", "--shift-low-notes", "--lower-limit"}) {
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
    }
}

TEST(CliVersion, VersionPrintsTheProjectVersionAndExitsZero)
{
    const ProgramRun run = runProgram(std::string(QUILLARC_CLI) + " --version");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "quillarc-cli " QUILLARC_EXPECTED_VERSION "\n");
    EXPECT_EQ(run.err, "");
}

}  // namespace
