#pragma once

#include "base/Diagnostics.h"

#include "base/CheckedArray.h"
#include "midifile/EventOrder.h"
#include "midifile/EventSelection.h"
#include "midifile/MidiEvent.h"
#include "midifile/MidiEventList.h"

#include <atomic>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

// How a read ended.
//  - Complete: every track was read.
//  - CannotOpen: the file could not be opened; nothing was printed.
//  - Failed: refused before the track table was made; the file keeps what it had.
//  - Partial: refused after the track table was made; the tracks hold the
//    events read so far, in absolute ticks, and can still be used.
//  - Stopped: the caller's stop flag was raised; nothing was printed, and the
//    file is as a failed or partial read at that point would leave it.
struct ReadResult {
    enum class Status { Complete, CannotOpen, Failed, Partial, Stopped };

    Status status = Status::Complete;
    // Every line the reader printed, in order.
    std::vector<std::string> diagnostics;

    bool ok() const { return status == Status::Complete; }
    // The first printed line, or an empty string when nothing was printed.
    std::string firstDiagnostic() const { return diagnostics.empty() ? std::string() : diagnostics.front(); }
};

// A Standard MIDI File (format 0 or 1) in memory: a table of tracks, each a
// list of events. Belongs to the thread that made it.
class MidiFile {
public:
    enum TrackLayout : std::int32_t { SeparateTracks = 0, MergedTracks = 1 };
    enum TickMode : std::int32_t { DeltaTicks = 0, AbsoluteTicks = 1 };

    // An empty file: one empty track, 48 ticks per quarter note.
    MidiFile();
    // Reads `fileName` at once; the outcome is kept in readResult().
    explicit MidiFile(const std::string& fileName);

    MidiFile(const MidiFile&) = delete;
    MidiFile& operator=(const MidiFile&) = delete;

    // Reads a file, replacing the tracks once its header has been accepted.
    // Reader diagnostics go to `sink`, a line each, and are kept in
    // readResult(). Never ends the process on bad data. Anything but a
    // regular file is refused with "Error: not a regular file PATH", without
    // waiting on it. When `stop` is given, it is looked at between chunks of
    // a few thousand events; once raised, the read ends with Status::Stopped.
    // Only the events `keep` selects are stored (see EventSelection); the
    // read is otherwise the same.
    bool loadFile(const std::string& fileName, const std::atomic<bool>* stop = nullptr,
                  DiagnosticSink& sink = noDiagnostics(), EventSelection keep = EventSelection::everything());
    // The same reader over bytes in memory; `name` stands for the file name in
    // the diagnostics.
    bool loadBytes(std::span<const std::uint8_t> data, const std::string& name,
                   const std::atomic<bool>* stop = nullptr, DiagnosticSink& sink = noDiagnostics(),
                   EventSelection keep = EventSelection::everything());
    const ReadResult& readResult() const { return m_readResult; }

    std::int32_t trackCount() const { return std::max(m_tracks.getSize(), m_announcedTracks); }
    // Events in all tracks together.
    std::int64_t totalEventCount() const;
    // Index errors end the process with the checked array's message.
    std::int32_t eventCount(std::int32_t track) const
    {
        const MidiEventList* list = findTrack(track);
        return list != nullptr ? list->getSize() : 0;
    }
    // Never appends: an index at the end is an error like any other past it.
    MidiEvent& eventAt(std::int32_t track, std::int32_t index)
    {
        MidiEvent& event = const_cast<MidiEvent&>(std::as_const(*this).eventAt(track, index));
        forgetTrackOrder(track);  // the caller may change it
        return event;
    }
    const MidiEvent& eventAt(std::int32_t track, std::int32_t index) const
    {
        const MidiEventList* list = findTrack(track);
        return (list != nullptr ? *list : emptyTrack()).at(index);
    }
    // A track's list is made when it is first asked for to be written to;
    // until then the track reads as empty. A header may announce tens of
    // thousands of tracks that the file does not hold: they cost nothing
    // until they are read.
    MidiEventList& track(std::int32_t index);
    const MidiEventList& track(std::int32_t index) const;

    std::int32_t ticksPerQuarter() const { return m_ticksPerQuarterNote; }
    std::int32_t tickModeOf() const { return m_tickMode; }
    std::int32_t trackLayoutOf() const { return m_trackLayout; }

    void toAbsoluteTicks();
    void toDeltaTicks();
    // Frees every track and leaves exactly one empty track.
    void resetTracks();
    // Joins all tracks into one, ordered by compareEvents; events with equal
    // keys keep their order (track 0 first, each track in its stored order).
    // Does nothing when the file already has a single track. When `stop` is
    // given and raised, the merge ends between chunks, drops every event
    // (one empty track is left) and returns false; otherwise it returns true.
    bool mergeTracks(const std::atomic<bool>* stop = nullptr);
    // The first half of mergeTracks alone: each track sorted as the merge
    // would sort it, the tracks left apart. A MergedEvents walk over the file
    // then meets every event in the order mergeTracks would have left them
    // in, without the events being moved or held twice. The ticks must be
    // absolute. A raised `stop` (looked at between tracks) drops every event
    // as mergeTracks does, and false is returned.
    bool sortTracksForMerge(const std::atomic<bool>* stop = nullptr);

    // Order of events: by tick; at equal ticks channel messages, markers and
    // system-exclusive events before meta events, and end-of-track last.
    // Returns -1, 0 or 1.
    static int compareEvents(const MidiEvent& a, const MidiEvent& b);

private:
    class Reader;

    bool dropEventsAfterStop(std::int32_t rememberedMode);
    // The list of track `index`, or null when it has not been made yet.
    const MidiEventList* findTrack(std::int32_t index) const
    {
        if (index >= 0 && index < m_tracks.getSize()) {
            return m_tracks.begin()[index].get();
        }
        return findUnmadeTrack(index);
    }
    const MidiEventList* findUnmadeTrack(std::int32_t index) const;
    // How much of a track the reader found in merge order: from this
    // position on, each event is in order with the one before it, so sorting
    // before a merge has only the part in front to look at (nothing when it
    // is 0 or 1). Anything that may change a track's events forgets this of
    // it, and a track not known is looked at whole (kOrderUnknown).
    static constexpr std::int32_t kOrderUnknown = INT32_MAX;
    void noteTrackOrderedFrom(std::int32_t index, std::int32_t from);
    void forgetTrackOrder(std::int32_t index);
    std::int32_t trackOrderedFrom(std::int32_t index) const;
    // What a track not made yet reads as.
    static const MidiEventList& emptyTrack();

    // The tracks made so far, in order; null for a track not written yet.
    CheckedArray<std::unique_ptr<MidiEventList>> m_tracks;
    // Tracks announced by the header, made or not; trackCount() counts them.
    std::int32_t m_announcedTracks = 0;
    std::int32_t m_ticksPerQuarterNote = 48;
    std::int32_t m_trackLayout = SeparateTracks;
    std::int32_t m_tickMode = DeltaTicks;
    // By track: where the part read in order begins (see trackOrderedFrom).
    std::vector<std::int32_t> m_trackOrderedFrom;
    ReadResult m_readResult;
};

// The events of a file's tracks one at a time in merge order, read where they
// lie: the file must have been put through mergeTracks or sortTracksForMerge,
// and must not change during the walk.
class MergedEvents {
public:
    explicit MergedEvents(const MidiFile& file);

    // The next event, or null after the last.
    const MidiEvent* next()
    {
        if (m_tree.done()) {
            return nullptr;
        }
        Source& source = m_sources[m_tree.winner()];
        const MidiEvent* event = source.next++;
        if (source.next == source.end) {
            m_tree.replay(LoserTree::kExhausted);
        } else {
            // Many interleaved streams, more than the hardware follows on its
            // own: each track's events are asked for ahead.
            __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(source.next) +
                                                             16 * sizeof(MidiEvent)));
            m_tree.replay(orderKey(*source.next));
        }
        return event;
    }

private:
    struct Source {
        const MidiEvent* next;
        const MidiEvent* end;
    };
    static std::vector<Source> sourcesOf(const MidiFile& file);
    static std::vector<std::uint64_t> firstKeysOf(const std::vector<Source>& sources);

    std::vector<Source> m_sources;  // the tracks that have events, in track order
    LoserTree m_tree;
};
