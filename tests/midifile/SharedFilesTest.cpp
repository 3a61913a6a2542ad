#include "midifile/MidiFile.h"
#include "song/NoteList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;

const fs::path kCollection = fs::path(QUILLARC_SHARED_MIDI_DIR) / "jazz-soft";

struct Prepared {
    ReadResult read;
    NoteList notes;
};

Prepared prepare(const fs::path& path)
{
    testing::internal::CaptureStdout();
    MidiFile file(path.string());
    file.toAbsoluteTicks();
    file.mergeTracks();
    NoteList notes = extractNotes(file, PlaybackOptions{});
    testing::internal::GetCapturedStdout();
    return {file.readResult(), std::move(notes)};
}

TEST(SharedCollection, EveryFileReadsWithoutEndingTheProcessAndOnlyBrokenOnesFail)
{
    if (!fs::is_directory(kCollection)) {
        GTEST_SKIP() << "test collection not found at " << kCollection;
    }
    // Files the reader refuses, each for a reason of its own.
    const std::set<std::string> refused{
        "test-not-a-midi-file.mid",        // not a MIDI file at all
        "test-empty-file.mid",             // no bytes
        "test-corrupt-file-missing-byte.mid",  // the last event is cut short
        "test-2-tracks-type-0.mid",        // format 0 with two tracks
        "test-2-tracks-type-2.mid",        // format 2
        "test-non-midi-track.mid",         // a chunk that is not MTrk
        "test-running-status-metaevent.mid",  // running status after a meta event swallows the rest
    };
    int files = 0;
    for (const auto& entry : fs::directory_iterator(kCollection)) {
        if (entry.path().extension() != ".mid") {
            continue;
        }
        ++files;
        const std::string name = entry.path().filename().string();
        const Prepared prepared = prepare(entry.path());
        EXPECT_EQ(!prepared.read.ok(), refused.count(name) == 1) << name << ": " << prepared.read.firstDiagnostic();
        EXPECT_TRUE(prepared.notes.ok()) << name;
    }
    EXPECT_GT(files, 60);
}

TEST(SharedCollection, CMajorScaleGivesEightHalfSecondNotes)
{
    const fs::path path = kCollection / "test-c-major-scale.mid";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "test collection not found";
    }
    const Prepared prepared = prepare(path);
    ASSERT_TRUE(prepared.read.ok());
    const int keys[] = {60, 62, 64, 65, 67, 69, 71, 72};
    std::vector<NoteListEntry> expected;
    for (int i = 0; i < 8; ++i) {
        expected.push_back({keys[i], 127, 500 + 500 * i});
        expected.push_back({keys[i], 0, 1000 + 500 * i});
    }
    // At each half second the note-off of one key and the note-on of the next
    // share a tick; they keep their file order (off first).
    EXPECT_EQ(prepared.notes.entries, expected);
}

TEST(SharedCollection, CorruptFileStillYieldsTheNotesBeforeTheFault)
{
    const fs::path path = kCollection / "test-corrupt-file-missing-byte.mid";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "test collection not found";
    }
    const Prepared prepared = prepare(path);
    EXPECT_EQ(prepared.read.status, ReadResult::Status::Partial);
    EXPECT_EQ(prepared.read.firstDiagnostic(), "Error: unexpected end of file");
    EXPECT_FALSE(prepared.notes.entries.empty());
}

}  // namespace
