#include "ReadHelpers.h"
#include "platform/Environment.h"
#include "support/SmfBuilder.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Status = ReadResult::Status;

struct HeaderCase {
    const char* name;
    Bytes bytes;
    std::string printed;
};

class ReaderRefusesHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(ReaderRefusesHeader, PrintsItsLinesAndKeepsTheFileUsable)
{
    MidiFile file;
    bool ok = true;
    EXPECT_EQ(readInto(file, GetParam().bytes, &ok), GetParam().printed);
    EXPECT_FALSE(ok);
    EXPECT_EQ(file.readResult().status, Status::Failed);
    // Refused before the track table was made: the file keeps its one empty track.
    ASSERT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.eventCount(0), 0);
    EXPECT_EQ(file.tickModeOf(), MidiFile::DeltaTicks);
}

Bytes withHeader(std::initializer_list<int> header)
{
    Bytes bytes;
    for (int b : header) {
        bytes.push_back(static_cast<std::uint8_t>(b));
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderRefusesHeader,
    testing::Values(
        HeaderCase{"FirstByteNotM", withHeader({'X', 'T', 'h', 'd'}), "File: t.mid is not a MIDI file\nChara data isX\n"},
        HeaderCase{"EmptyFile", {}, "File: t.mid is not a MIDI file\nChara data is\n"},
        HeaderCase{"FourthByteNotD", withHeader({'M', 'T', 'h', 'x', 0, 0, 0, 6}), "File: t.mid is not a MIDI file\n"},
        HeaderCase{"HeaderLengthNotSix", withHeader({'M', 'T', 'h', 'd', 0, 0, 0, 7, 0, 1, 0, 1, 1, 0xE0}),
                   "File: t.mid is not a MIDI 1.0 Standard MIDI file.\nThe header size is: 7\n"},
        HeaderCase{"FormatTwo", withHeader({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 2, 0, 1, 1, 0xE0}),
                   "Error: cannot handle type 2 MIDI file\n"},
        HeaderCase{"FormatZeroWithTwoTracks", withHeader({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 2, 1, 0xE0}),
                   "Error: Type 0 MIDI file can only contain one track\n"},
        HeaderCase{"FormatZeroWithNoTracks", withHeader({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 0, 1, 0xE0}),
                   "Error: Type 0 MIDI file can only contain one track\n"},
        HeaderCase{"HeaderCutShort", withHeader({'M', 'T', 'h', 'd', 0, 0}), "Error: unexpected end of file\n"}),
    [](const testing::TestParamInfo<HeaderCase>& param) { return param.param.name; });

struct DivisionCase {
    const char* name;
    int high;
    int low;
};

class ReaderRefusesDivision : public testing::TestWithParam<DivisionCase> {};

TEST_P(ReaderRefusesDivision, AfterTheTracksAreMade)
{
    MidiFile file;
    bool ok = true;
    const Bytes bytes = withHeader({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 3, GetParam().high, GetParam().low});
    EXPECT_EQ(readInto(file, bytes, &ok), "Error: cannot handle SMTP tick values for quarter notes yet\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(file.readResult().status, Status::Partial);
    EXPECT_EQ(file.trackCount(), 3);
    EXPECT_EQ(file.ticksPerQuarter(), 48);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReaderRefusesDivision,
                         testing::Values(DivisionCase{"Smpte", 0xE7, 0x28}, DivisionCase{"Zero", 0, 0}),
                         [](const testing::TestParamInfo<DivisionCase>& param) { return param.param.name; });

TEST(Reader, FileThatCannotBeOpenedPrintsNothing)
{
    MidiFile file;
    PrintedLines printed;
    EXPECT_FALSE(file.loadFile("/nonexistent/quillarc/none.mid", nullptr, printed));
    EXPECT_EQ(printed.text, "");
    EXPECT_EQ(file.readResult().status, Status::CannotOpen);
    EXPECT_EQ(file.trackCount(), 1);
}

#ifndef _WIN32
// Something that is not a regular file is refused before a byte is read: a
// FIFO without a writer would otherwise block the reader for ever.
struct NotRegularCase {
    const char* name;
    void (*make)(const std::string& path);
};

class ReaderRefusesNotRegularFile : public testing::TestWithParam<NotRegularCase> {};

TEST_P(ReaderRefusesNotRegularFile, WithOneLineAndWithoutWaiting)
{
    char dirTemplate[] = "/tmp/quillarc-reader-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string path = std::string(dirTemplate) + "/song.mid";
    GetParam().make(path);

    MidiFile file;
    PrintedLines printed;
    EXPECT_FALSE(file.loadFile(path, nullptr, printed));
    EXPECT_EQ(printed.text, "Error: not a regular file " + path + "\n");
    EXPECT_EQ(file.readResult().status, Status::Failed);
    EXPECT_EQ(file.readResult().firstDiagnostic(), "Error: not a regular file " + path);
    EXPECT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.tickModeOf(), MidiFile::DeltaTicks);
    std::filesystem::remove_all(dirTemplate);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderRefusesNotRegularFile,
    testing::Values(NotRegularCase{"Fifo", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
                    NotRegularCase{"Directory", [](const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0700), 0); }}),
    [](const testing::TestParamInfo<NotRegularCase>& param) { return param.param.name; });
#endif

// File names are UTF-8 on every platform: a song in a folder named in any
// script opens, and a folder of that name is refused as on its own.
struct Utf8NameCase {
    const char* name;
    const char* folder;
    bool isFolder;
};

class ReaderOpensUtf8Name : public testing::TestWithParam<Utf8NameCase> {};

TEST_P(ReaderOpensUtf8Name, InAnyScript)
{
    const std::string root = utf8FromPath(std::filesystem::temp_directory_path()) + "/quillarc-names-" +
                             std::to_string(processId());
    const std::string path = root + "/" + GetParam().folder + "/song.mid";
    std::filesystem::create_directories(pathFromUtf8(path).parent_path());
    if (GetParam().isFolder) {
        std::filesystem::create_directory(pathFromUtf8(path));
    } else {
        const std::vector<std::uint8_t> bytes = SmfBuilder().track().noteOn(0, 0, 64, 80).end().bytes();
        std::ofstream(pathFromUtf8(path), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    MidiFile file;
    PrintedLines printed;
    const bool read = file.loadFile(path, nullptr, printed);
    EXPECT_EQ(printed.text, GetParam().isFolder ? "Error: not a regular file " + path + "\n" : "");
    EXPECT_EQ(read, !GetParam().isFolder);
    if (!GetParam().isFolder) {
        EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{{0x90, 64, 80}}));
    }
    std::filesystem::remove_all(pathFromUtf8(root));
}

INSTANTIATE_TEST_SUITE_P(Names, ReaderOpensUtf8Name,
                         testing::Values(Utf8NameCase{"Latin", "Chansons d\u2019\u00e9t\u00e9", false},
                                         Utf8NameCase{"Cyrillic", "\u041f\u0435\u0441\u043d\u0438", false},
                                         Utf8NameCase{"Han", "\u6b4c\u66f2 \U0001D11E", false},
                                         Utf8NameCase{"FolderOfThatName", "Lieder f\u00fcr Orgel", true}),
                         [](const testing::TestParamInfo<Utf8NameCase>& param) { return param.param.name; });

TEST(Reader, CompleteReadLeavesEachTrackInFileOrderWithAbsoluteTicks)
{
    MidiFile file;
    bool ok = false;
    readInto(file,
             SmfBuilder(1, 96)
                 .track().tempo(0, 500000).end(10)
                 .track().noteOn(5, 0, 60, 100).noteOff(20, 0, 60).noteOn(0, 0, 62, 90).end()
                 .bytes(),
             &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(file.readResult().ok());
    EXPECT_EQ(file.tickModeOf(), MidiFile::AbsoluteTicks);
    EXPECT_EQ(file.ticksPerQuarter(), 96);
    ASSERT_EQ(file.trackCount(), 2);
    // End-of-track events are not stored.
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{{0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}));
    EXPECT_EQ(ticksOf(file, 1), (std::vector<int>{5, 25, 25}));
    EXPECT_EQ(messagesOf(file, 1), (std::vector<std::vector<int>>{{0x90, 60, 100}, {0x80, 60, 64}, {0x90, 62, 90}}));
}

TEST(Reader, FormatOneWithNoTracksReadsSuccessfully)
{
    MidiFile file;
    bool ok = false;
    readInto(file, SmfBuilder(1).bytes(), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(file.trackCount(), 0);
}

TEST(Reader, RunningStatusCarriesAcrossTracks)
{
    // Every track ends with FF 2F, so the status that carries into the next
    // track is FF: a leading data byte there starts a meta event.
    MidiFile file;
    bool ok = false;
    readInto(file,
             SmfBuilder()
                 .track().noteOn(0, 3, 60, 100).end()
                 .track().event(10, {0x3C, 0x05, 0x02, 'A', 'B'}).end()
                 .bytes(),
             &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messagesOf(file, 1), (std::vector<std::vector<int>>{{0xFF, 0x3C, 0x05, 0x02, 'A', 'B'}}));
    EXPECT_EQ(ticksOf(file, 1), (std::vector<int>{10}));
}

TEST(Reader, RunningStatusBetweenChannelMessages)
{
    MidiFile file;
    bool ok = false;
    readInto(file, SmfBuilder().track().noteOn(0, 2, 60, 100).event(10, {62, 0}).event(0, {0xC2, 5}).event(1, {7}).end().bytes(),
             &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messagesOf(file, 0),
              (std::vector<std::vector<int>>{{0x92, 60, 100}, {0x92, 62, 0}, {0xC2, 5}, {0xC2, 7}}));
}

TEST(Reader, RunningStatusAfterAMetaEventBuildsAMetaEventFromTheDataByte)
{
    MidiFile file;
    bool ok = false;
    // After the text event FF 01 00, data byte 0x3C runs on status FF: it is
    // stored as the type position, then a type, a length and the data follow.
    readInto(file, SmfBuilder().track().event(0, {0xFF, 0x01, 0x00}).event(0, {0x3C, 0x03, 0x02, 0xAA, 0xBB}).end().bytes(),
             &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messagesOf(file, 0),
              (std::vector<std::vector<int>>{{0xFF, 0x01, 0x00}, {0xFF, 0x3C, 0x03, 0x02, 0xAA, 0xBB}}));
}

TEST(Reader, SystemExclusiveKeepsOnlyItsStatusAndRunsOnIntoDataBytes)
{
    MidiFile file;
    bool ok = false;
    readInto(file,
             SmfBuilder().track().event(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}).event(3, {0x3C, 0x11, 0xF7}).end().bytes(),
             &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{{0xF0}, {0xF0, 0x3C}}));
    EXPECT_EQ(ticksOf(file, 0), (std::vector<int>{0, 3}));
}

TEST(Reader, ChannelPressureHoldsOneDataByteMidTrackAndAtTheEnd)
{
    // Mid-track the bytes after each message are plentiful; the last one
    // stands at the very end of the file, with nothing after its data byte.
    MidiFile file;
    bool ok = false;
    readInto(file,
             SmfBuilder()
                 .track()
                 .event(0, {0xD3, 0x40})
                 .event(5, {0x41})
                 .noteOn(1, 3, 60, 100)
                 .event(2, {0xD3, 0x42})
                 .noteOff(0, 3, 60)
                 .event(4, {0xD3, 0x43})
                 .bytes(),
             &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{
                                       {0xD3, 0x40}, {0xD3, 0x41}, {0x93, 60, 100}, {0xD3, 0x42}, {0x83, 60, 64}, {0xD3, 0x43}}));
    EXPECT_EQ(ticksOf(file, 0), (std::vector<int>{0, 5, 6, 8, 8, 12}));
}

TEST(Reader, OtherSystemMessagesHoldTheirStatusAlone)
{
    MidiFile file;
    bool ok = false;
    readInto(file, SmfBuilder().track().event(0, {0xF8}).event(0, {0xF1}).noteOn(0, 0, 60, 1).end().bytes(), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{{0xF8}, {0xF1}, {0x90, 60, 1}}));
}

TEST(Reader, MetaEventOfLengthZeroHoldsThreeBytes)
{
    MidiFile file;
    readInto(file, SmfBuilder().track().event(0, {0xFF, 0x06, 0x00}).end().bytes());
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{{0xFF, 0x06, 0x00}}));
}

struct MetaPayloadCase {
    const char* name;
    int length;
    bool endOfTrackFollows;
    // Allocation of a fresh event (4 slots, growth 4) after 3 + length appends.
    std::int32_t allocSize;
};

class ReaderMetaPayload : public testing::TestWithParam<MetaPayloadCase> {};

// Every byte value may stand in a payload; the last payload of the file may
// end exactly at its last byte.
TEST_P(ReaderMetaPayload, IsHeldWholeWithTheAllocationOfByteWiseAppends)
{
    const MetaPayloadCase& c = GetParam();
    SmfBuilder song;
    song.track().event(0, {0xFF, 0x05, c.length});
    std::vector<int> expected{0xFF, 0x05, c.length};
    for (int i = 0; i < c.length; ++i) {
        const int b = (i * 37 + 0xF5) & 0xFF;
        song.raw({b});
        expected.push_back(b);
    }
    if (c.endOfTrackFollows) {
        song.end(3);  // read, not stored
    }
    MidiFile file;
    bool ok = false;
    EXPECT_EQ(readInto(file, song.bytes(), &ok), "");
    ASSERT_TRUE(ok);
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{expected}));
    EXPECT_EQ(file.eventAt(0, 0).bytes.getAllocSize(), c.allocSize);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReaderMetaPayload,
                         testing::Values(MetaPayloadCase{"PastTheInlineBytes", 9, true, 12},
                                         MetaPayloadCase{"OneSlotPastAStep", 10, true, 16},
                                         MetaPayloadCase{"Longest", 255, true, 260},
                                         MetaPayloadCase{"EndingTheFile", 10, false, 16}),
                         [](const testing::TestParamInfo<MetaPayloadCase>& param) { return param.param.name; });

TEST(Reader, LowNoteOnsBecomeMarkersAndMarkerTwoCountsPerTrack)
{
    MidiFile file;
    bool ok = false;
    readInto(file,
             SmfBuilder()
                 .track().noteOn(0, 0, 5, 100).noteOn(0, 0, 2, 100).noteOn(0, 0, 2, 100).noteOn(0, 1, 11, 9).noteOn(0, 0, 12, 9).end()
                 .track().noteOn(0, 0, 2, 100).event(0, {0x80, 2, 0}).end()
                 .bytes(),
             &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(messagesOf(file, 0),
              (std::vector<std::vector<int>>{{5, 5, 100}, {2, 2, 1}, {2, 2, 2}, {11, 11, 9}, {0x90, 12, 9}}));
    // The counter starts again in each track; note-offs are left alone.
    EXPECT_EQ(messagesOf(file, 1), (std::vector<std::vector<int>>{{2, 2, 1}, {0x80, 2, 0}}));
}

TEST(Reader, FourByteDeltaIsAccepted)
{
    MidiFile file;
    bool ok = false;
    readInto(file, SmfBuilder().track().raw({0xFF, 0xFF, 0xFF, 0x7F}).raw({0x90, 60, 1}).end().bytes(), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ticksOf(file, 0), (std::vector<int>{0x0FFFFFFF}));
}

TEST(Reader, TickSumPastThirtyTwoBitsWrapsWithoutEndingTheProcess)
{
    MidiFile file;
    bool ok = false;
    SmfBuilder song;
    song.track();
    for (int i = 0; i < 17; ++i) {
        song.delta(0x0FFFFFFF).raw({0x90, 60, 1});
    }
    readInto(file, song.end().bytes(), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(file.eventAt(0, 16).tick, static_cast<std::int32_t>(17U * 0x0FFFFFFFU));
}

struct CorruptCase {
    const char* name;
    Bytes track;
    std::string printed;
    std::vector<std::vector<int>> kept;
};

class ReaderRefusesCorruptTrack : public testing::TestWithParam<CorruptCase> {};

// Data that used to end the process is a failed read: the lines are printed,
// the events before the fault are kept, and the ticks stay absolute.
TEST_P(ReaderRefusesCorruptTrack, FailsTheReadAndKeepsWhatCameBefore)
{
    SmfBuilder song;
    song.track().noteOn(7, 0, 60, 100);
    for (std::uint8_t b : GetParam().track) {
        song.raw({b});
    }
    MidiFile file;
    bool ok = true;
    EXPECT_EQ(readInto(file, song.bytes(), &ok), GetParam().printed);
    EXPECT_FALSE(ok);
    EXPECT_EQ(file.readResult().status, Status::Partial);
    EXPECT_EQ(file.readResult().firstDiagnostic(), GetParam().printed.substr(0, GetParam().printed.find('\n')));
    EXPECT_EQ(file.tickModeOf(), MidiFile::AbsoluteTicks);
    EXPECT_EQ(messagesOf(file, 0), GetParam().kept);
    // Absolute already: converting again must not add the ticks up twice.
    file.toAbsoluteTicks();
    EXPECT_EQ(file.eventAt(0, 0).tick, 7);
}

const std::vector<std::vector<int>> kFirstNote{{0x90, 60, 100}};

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderRefusesCorruptTrack,
    testing::Values(
        CorruptCase{"DeltaTooLong", {0x81, 0x81, 0x81, 0x81, 0x81, 0x00}, "Error: VLV value was too long\n", kFirstNote},
        CorruptCase{"EndInsideDelta", {0x81}, "Error: unexpected end of file\n", kFirstNote},
        CorruptCase{"EndInsideNoteOn", {0x00, 0x91, 60}, "Error: unexpected end of file\n", kFirstNote},
        CorruptCase{"EndInsideMetaLength", {0x00, 0xFF, 0x01}, "Error: unexpected end of file\n", kFirstNote},
        CorruptCase{"EndInsideMetaData", {0x00, 0xFF, 0x01, 0x05, 'a', 'b'}, "Error: unexpected end of file\n", kFirstNote}),
    [](const testing::TestParamInfo<CorruptCase>& param) { return param.param.name; });

TEST(Reader, DataByteWithoutAnyStatusFailsTheRead)
{
    MidiFile file;
    bool ok = true;
    EXPECT_EQ(readInto(file, SmfBuilder().track().event(0, {0x40, 0x40}).end().bytes(), &ok),
              "Error: running command with no previous command\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(file.eventCount(0), 0);
}

TEST(Reader, TrackWithoutEndOfTrackIsReadToTheEndOfTheFile)
{
    // Two tracks declared, the first without FF 2F: it runs to the end of the
    // file, and the second header is missing.
    SmfBuilder song;
    song.track().noteOn(0, 0, 60, 100).noteOff(10, 0, 60);
    MidiFile file;
    bool ok = true;
    EXPECT_EQ(readInto(file, song.bytes(2), &ok),
              "File: t.mid has bad track info\ncharacter 1 is: -1\nEnd of file reached\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(file.trackCount(), 2);
    EXPECT_EQ(file.eventCount(0), 2);
    EXPECT_EQ(file.eventCount(1), 0);
}

TEST(Reader, EndOfFileWhereAnEventWouldStartEndsTheLastTrackCleanly)
{
    MidiFile file;
    bool ok = false;
    EXPECT_EQ(readInto(file, SmfBuilder().track().noteOn(0, 0, 60, 100).bytes(), &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(file.eventCount(0), 1);
}

TEST(Reader, EventsAfterEndOfTrackAreReadAsTheNextChunkTag)
{
    SmfBuilder song;
    song.track().noteOn(0, 0, 60, 100).end().noteOn(0, 0, 62, 100).track().end();
    MidiFile file;
    bool ok = true;
    EXPECT_EQ(readInto(file, song.bytes(), &ok), "File: t.mid has bad track info\ncharacter 1 is: 0\n");
    EXPECT_FALSE(ok);
}

TEST(Reader, ChunkTagMismatchNamesTheCharacter)
{
    Bytes bytes = SmfBuilder().track().end().bytes();
    bytes[14 + 2] = 'X';  // "MTXk"
    MidiFile file;
    EXPECT_EQ(readInto(file, bytes), "File: t.mid has bad track info\ncharacter 3 is: 88\n");
}

TEST(Reader, FailedReadOfTheSecondFileDoesNotKeepTheFirstTracks)
{
    MidiFile file;
    readInto(file, SmfBuilder().track().noteOn(0, 0, 60, 1).end().track().noteOn(0, 0, 61, 1).end().bytes());
    ASSERT_EQ(file.trackCount(), 2);
    readInto(file, SmfBuilder().track().noteOn(0, 0, 62, 1).bytes(2));
    EXPECT_EQ(file.trackCount(), 2);
    EXPECT_EQ(messagesOf(file, 0), (std::vector<std::vector<int>>{{0x90, 62, 1}}));
    EXPECT_EQ(file.eventCount(1), 0);
}

// A file is read through a window much smaller than a big song: events that
// straddle its edges (meta payloads, deltas, running status) and a file cut
// short anywhere read from the file exactly as the same bytes from memory.
TEST(Reader, BigFileReadsAsItsBytesFromMemoryWholeAndCutShort)
{
    SmfBuilder builder;
    builder.track();
    for (int i = 0; i < 100000; ++i) {
        builder.noteOn(static_cast<std::uint32_t>(i % 3 == 0 ? 200 : 1), i % 16, 20 + i % 100, 1 + i % 120).event(0, {30 + i % 90, 0});
        if (i % 97 == 0) {
            builder.event(0x3FFF, {0xFF, 0x01, 0xC8});
            for (int k = 0; k < 200; ++k) {
                builder.raw({'a' + (i + k) % 26});
            }
        }
    }
    const Bytes whole = builder.end().bytes();
    const std::string path = utf8FromPath(std::filesystem::temp_directory_path()) + "/quillarc-window-" + std::to_string(processId()) + ".mid";
    for (const std::size_t size : {whole.size(), std::size_t{262144 + 3}, whole.size() - 150, whole.size() / 2 + 1}) {
        const Bytes bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        std::ofstream(pathFromUtf8(path), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
        MidiFile fromFile;
        MidiFile fromMemory;
        PrintedLines printedFromFile;
        bool memoryOk = false;
        const std::string printedFromMemory = readInto(fromMemory, bytes, &memoryOk);
        EXPECT_EQ(fromFile.loadFile(path, nullptr, printedFromFile), memoryOk) << size;
        EXPECT_EQ(printedFromFile.text, printedFromMemory) << size;
        EXPECT_EQ(messagesOf(fromFile, 0), messagesOf(fromMemory, 0)) << size;
        EXPECT_EQ(ticksOf(fromFile, 0), ticksOf(fromMemory, 0)) << size;
    }
    std::filesystem::remove(pathFromUtf8(path));
}

// Events the selection does not keep are parsed as ever (running status,
// markers, the diagnostics) but not stored.
TEST(Reader, SelectionKeepsTheChosenChannelsNotesAndEveryTempoAndReadsTheRestAlike)
{
    const Bytes song = SmfBuilder()
                           .track().tempo(0, 500000).event(5, {0xB1, 7, 100}).noteOn(0, 1, 60, 100).event(0, {62, 90})
                           .noteOn(3, 1, 2, 100).noteOff(4, 2, 60).event(0, {0xFF, 0x01, 0x01, 'x'})
                           .event(1, {0xF0, 0x01, 0xF7}).noteOff(2, 1, 60).raw({0, 0x91})
                           .bytes();
    const std::vector<int> tempo{0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    const struct {
        EventSelection keep;
        std::vector<std::vector<int>> messages;
        std::vector<int> ticks;
    } rows[] = {
        {EventSelection::everything(),
         {tempo, {0xB1, 7, 100}, {0x91, 60, 100}, {0x91, 62, 90}, {2, 2, 1}, {0x82, 60, 64}, {0xFF, 0x01, 0x01, 'x'}, {0xF0}, {0x81, 60, 64}},
         {0, 5, 5, 5, 8, 12, 12, 13, 15}},
        {EventSelection::notesAndTempo(1 << 1), {tempo, {0x91, 60, 100}, {0x91, 62, 90}, {0x81, 60, 64}}, {0, 5, 5, 15}},
        {EventSelection::notesAndTempo(0b110), {tempo, {0x91, 60, 100}, {0x91, 62, 90}, {0x82, 60, 64}, {0x81, 60, 64}}, {0, 5, 5, 12, 15}},
        {EventSelection::notesAndTempo(0), {tempo}, {0}},
    };
    for (const auto& row : rows) {
        MidiFile file;
        PrintedLines printed;
        EXPECT_FALSE(file.loadBytes(song, "t.mid", nullptr, printed, row.keep));
        EXPECT_EQ(printed.text, "Error: unexpected end of file\n");
        EXPECT_EQ(file.readResult().status, Status::Partial);
        EXPECT_EQ(messagesOf(file, 0), row.messages);
        EXPECT_EQ(ticksOf(file, 0), row.ticks);
    }
}

}  // namespace
