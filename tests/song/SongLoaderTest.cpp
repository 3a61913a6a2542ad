#include "song/SongLength.h"
#include "song/SongLoader.h"
#include "support/BigSong.h"
#include "support/SmfBuilder.h"
#include "support/PrintedLines.h"

#include <gtest/gtest.h>

#include "support/TestPlatform.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <tuple>

namespace {

namespace fs = std::filesystem;

// A scratch folder of its own for each test, removed afterwards.
class SongLoaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("quillarc-loader-" + std::to_string(processId()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        const std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static PlaybackOptions channelOne()
    {
        PlaybackOptions options;
        options.playChannel = 1;
        return options;
    }

    fs::path m_dir;
};

TEST_F(SongLoaderTest, UnraisedFlagLoadsExactlyAsNoFlag)
{
    const std::string path = write("big.mid", bigSong(4, 30000));
    const std::atomic<bool> stop{false};
    PrintedLines printed;
    const LoadedSong plain = loadSong(path, channelOne(), nullptr, printed);
    const LoadedSong watched = loadSong(path, channelOne(), &stop, printed);
    EXPECT_EQ(printed.text, "Tempo change detected, new tempo = 133.333\nTempo change detected, new tempo = 133.333\n");
    EXPECT_FALSE(watched.stopped);
    EXPECT_TRUE(watched.read.ok());
    EXPECT_EQ(watched.notes.entries.size(), 60000U);
    EXPECT_EQ(watched.notes.entries, plain.notes.entries);
}

TEST_F(SongLoaderTest, FlagRaisedBeforehandLoadsNothingAndPrintsNothing)
{
    const std::string path = write("big.mid", bigSong(4, 30000));
    const std::atomic<bool> stop{true};
    PrintedLines printed;
    const LoadedSong song = loadSong(path, channelOne(), &stop, printed);
    EXPECT_EQ(printed.text, "");
    EXPECT_TRUE(song.stopped);
    EXPECT_EQ(song.read.status, ReadResult::Status::Stopped);
    EXPECT_TRUE(song.notes.entries.empty());
}

TEST_F(SongLoaderTest, FlagRaisedWhileLoadingEndsWithStopped)
{
    const std::string path = write("big.mid", bigSong(4, 60000));
    std::atomic<bool> stop{false};
    LoadedSong song;
    std::thread loader([&] { song = loadSong(path, channelOne(), &stop); });
    stop.store(true);
    loader.join();
    EXPECT_TRUE(song.stopped);
    EXPECT_TRUE(song.notes.entries.empty());
}

#ifndef _WIN32
TEST_F(SongLoaderTest, FifoIsAReadFailureNamedInItsFirstLine)
{
    const std::string path = (m_dir / "pipe.mid").string();
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    testing::internal::CaptureStdout();
    const LoadedSong song = loadSong(path, channelOne());
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(song.stopped);
    EXPECT_EQ(song.read.status, ReadResult::Status::Failed);
    EXPECT_EQ(song.readFailureText(path), "Error: not a regular file " + path);
    EXPECT_TRUE(song.notes.entries.empty());
}
#endif

// The core prints nothing itself: each line goes to the sink the caller
// gives, the reader's before the note list's.
TEST_F(SongLoaderTest, LinesGoToTheCallersSinkAndNothingIsPrinted)
{
    const std::string path = write("cut.mid", SmfBuilder(0, 480).track().tempo(0, 600000).noteOn(0, 1, 60, 9).raw({0, 0x91}).bytes());
    PrintedLines printed;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const LoadedSong song = loadSong(path, channelOne(), nullptr, printed);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(printed.text, "Error: unexpected end of file\nTempo change detected, new tempo = 100\n");
    EXPECT_EQ(song.read.diagnostics, std::vector<std::string>{"Error: unexpected end of file"});
}

// Ticks of 480 a quarter; 90 bpm from tick 480 times tick 960 at 960 x
// 666.667 / 480 = 1333 ms after the lead-in, as the note list does.
TEST_F(SongLoaderTest, LengthIsTheLastEntrysTimeSaidQuietlyAndNoneWithoutANoteOnOrWithABadTempo)
{
    const std::string song = write("length.mid", SmfBuilder(0, 480)
                                                     .track()
                                                     .noteOn(0, 1, 60, 90)
                                                     .tempo(480, 666667)
                                                     .noteOff(480, 1, 60)
                                                     .noteOff(100, 2, 61)
                                                     .end()
                                                     .bytes());
    const std::string badTempo = write("tempo.mid", SmfBuilder(0, 480).track().noteOn(0, 1, 60, 90).tempo(10, 0).noteOff(10, 1, 60).end().bytes());
    const std::tuple<std::string, int, std::optional<std::int32_t>> rows[] = {
        {song, 1, 1833}, {song, 2, std::nullopt}, {badTempo, 1, std::nullopt}};
    for (const auto& [path, channel, length] : rows) {
        PlaybackOptions options;
        options.playChannel = channel;
        MidiFile file;
        ReadResult read;
        ASSERT_TRUE(readAndPrepareSong(file, path, read));
        testing::internal::CaptureStdout();
        EXPECT_EQ(songLengthMs(file, options), length) << path << " channel " << channel;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
}

}  // namespace
