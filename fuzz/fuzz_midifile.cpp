// Feeds arbitrary bytes through the whole path a song takes before playback:
// read, absolute ticks, merge, note-list extraction. Besides the sanitizers'
// own checks it traps when a documented property of that path does not hold.
// The reader and extraction must never end the process: an exit reached from
// here is reported by libFuzzer as "fuzz target exited", with the input.

#include "midifile/MidiFile.h"
#include "song/NoteList.h"
#include "song/PlaybackOptions.h"

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <span>
#include <streambuf>
#include <vector>

namespace {

// Swallows the reader's and the extraction's progress lines while keeping the
// stream in a good state, so every formatting path still runs.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void require(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// The merged track is ordered by tick, and at one tick no meta event comes
// before a non-meta event.
void requireMergedOrder(const MidiFile& file)
{
    const MidiEventList& events = file.track(0);
    for (std::int32_t j = 1; j < events.getSize(); ++j) {
        const MidiEvent& previous = events.begin()[j - 1];
        const MidiEvent& next = events.begin()[j];
        require(previous.tick <= next.tick);
        require(previous.tick != next.tick || !previous.isMeta() || next.isMeta());
    }
}

void requireTickRoundTrip(MidiFile& file)
{
    // Tracks are looked at through a const view: asking for one to write to
    // would make a track that the read left unmade.
    const MidiFile& view = file;
    std::vector<std::int32_t> ticks;
    ticks.reserve(static_cast<std::size_t>(view.track(0).getSize()));
    for (const MidiEvent& event : view.track(0)) {
        ticks.push_back(event.tick);
    }
    file.toDeltaTicks();
    file.toAbsoluteTicks();
    const MidiEventList& events = view.track(0);
    require(static_cast<std::size_t>(events.getSize()) == ticks.size());
    for (std::size_t j = 0; j < ticks.size(); ++j) {
        require(events.begin()[j].tick == ticks[j]);
    }
}

void requireSameList(const NoteList& a, const NoteList& b)
{
    require(a.entries == b.entries);
    require(a.error == b.error);
}

}  // namespace

// AddressSanitizer's defaults for this target (ASAN_OPTIONS still overrides
// them). Freed memory stays in a quarantine, where a use after free is
// caught. One input frees at most some hundred KB, so the default 256 MB
// holds tens of thousands of inputs' worth, and in a short run every block
// is fresh memory that the system must fault in and clear (350 MB of RSS
// after 40,000 inputs). 16 MB still holds everything freed while an input
// runs, and during many inputs after it.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Never destroyed: std::cout is flushed at exit, after function statics are gone.
    static NullBuffer* const sink = new NullBuffer;
    std::cout.rdbuf(sink);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MidiFile file;
    file.loadBytes(std::span<const std::uint8_t>(data, size), "fuzz-input.mid");

    file.toAbsoluteTicks();
    const std::int32_t tracksBefore = file.trackCount();
    const std::int64_t eventsBefore = file.totalEventCount();
    file.mergeTracks();
    require(file.trackCount() == 1);
    require(file.eventCount(0) == eventsBefore);
    // A single track is left as it was read; only a real merge sorts.
    if (tracksBefore != 1) {
        requireMergedOrder(file);
    }
    requireTickRoundTrip(file);

    PlaybackOptions options;
    options.playChannel = 0;
    options.shiftLowNotes = 1;
    const NoteList shifted = extractNotes(file, options);
    require(shifted.entries.size() <= static_cast<std::size_t>(file.eventCount(0)));
    // Each extraction starts from the default tempo: a second one gives the same list.
    requireSameList(shifted, extractNotes(file, options));

    options.shiftLowNotes = 0;
    const NoteList plain = extractNotes(file, options);
    // The shift moves keys, never adds, drops or retimes an entry.
    require(plain.entries.size() == shifted.entries.size());
    for (std::size_t i = 0; i < plain.entries.size(); ++i) {
        require(plain.entries[i].velocity == shifted.entries[i].velocity);
        require(plain.entries[i].timeMs == shifted.entries[i].timeMs);
        const std::int32_t moved = shifted.entries[i].key - plain.entries[i].key;
        require(moved == 0 || moved == 8);
    }
    return 0;
}
