#include "midifile/MidiFile.h"

#include "base/Fatal.h"
#include "midifile/EventOrder.h"

#include <algorithm>
#include <vector>

MidiFile::MidiFile()
{
    m_tracks.allowGrowth(true);
    m_tracks.setSize(0);
    m_tracks.append(std::make_unique<MidiEventList>());
}

MidiFile::MidiFile(const std::string& fileName) : MidiFile()
{
    loadFile(fileName);
}

const MidiEventList* MidiFile::findUnmadeTrack(std::int32_t index) const
{
    if (index < 0 || index >= trackCount()) {
        fatalError("Error: accessing invalid array location " + std::to_string(index) + " Maximum is " +
                   std::to_string(trackCount() - 1));
    }
    return nullptr;
}

std::int64_t MidiFile::totalEventCount() const
{
    std::int64_t total = 0;
    for (const auto& list : m_tracks) {
        total += list ? list->getSize() : 0;  // tracks not made yet are empty
    }
    return total;
}

MidiEventList& MidiFile::track(std::int32_t index)
{
    findTrack(index);
    if (index >= m_tracks.getSize()) {
        m_tracks.setSize(index + 1);
    }
    auto& list = m_tracks.at(index);
    if (!list) {
        list = std::make_unique<MidiEventList>();
    }
    forgetTrackOrder(index);  // the caller may change it
    return *list;
}

void MidiFile::forgetTrackOrder(std::int32_t index)
{
    if (static_cast<std::size_t>(index) < m_trackOrderedFrom.size()) {
        m_trackOrderedFrom[static_cast<std::size_t>(index)] = kOrderUnknown;
    }
}

void MidiFile::noteTrackOrderedFrom(std::int32_t index, std::int32_t from)
{
    if (static_cast<std::size_t>(index) >= m_trackOrderedFrom.size()) {
        m_trackOrderedFrom.resize(static_cast<std::size_t>(index) + 1, kOrderUnknown);
    }
    m_trackOrderedFrom[static_cast<std::size_t>(index)] = from;
}

std::int32_t MidiFile::trackOrderedFrom(std::int32_t index) const
{
    return static_cast<std::size_t>(index) < m_trackOrderedFrom.size() ? m_trackOrderedFrom[static_cast<std::size_t>(index)]
                                                                        : kOrderUnknown;
}

const MidiEventList& MidiFile::emptyTrack()
{
    static const MidiEventList kEmpty;
    return kEmpty;
}

const MidiEventList& MidiFile::track(std::int32_t index) const
{
    const MidiEventList* list = findTrack(index);
    return list != nullptr ? *list : emptyTrack();
}

void MidiFile::toAbsoluteTicks()
{
    if (m_tickMode == AbsoluteTicks) {
        return;
    }
    m_trackOrderedFrom.clear();
    for (auto& list : m_tracks) {
        if (!list) {
            continue;
        }
        std::uint32_t sum = 0;
        for (MidiEvent& event : *list) {
            // Wrapping sum: ticks are 32-bit, and a corrupt file must not make this undefined.
            sum += static_cast<std::uint32_t>(event.tick);
            event.tick = static_cast<std::int32_t>(sum);
        }
    }
    m_tickMode = AbsoluteTicks;
}

void MidiFile::toDeltaTicks()
{
    if (m_tickMode == DeltaTicks) {
        return;
    }
    m_trackOrderedFrom.clear();
    for (auto& list : m_tracks) {
        if (!list) {
            continue;
        }
        std::uint32_t previous = 0;
        for (MidiEvent& event : *list) {
            const auto absolute = static_cast<std::uint32_t>(event.tick);
            event.tick = static_cast<std::int32_t>(absolute - previous);
            previous = absolute;
        }
    }
    m_tickMode = DeltaTicks;
}

void MidiFile::resetTracks()
{
    m_tracks.setSize(0);
    m_tracks.append(std::make_unique<MidiEventList>());
    m_announcedTracks = 0;
    m_trackOrderedFrom.clear();
}

namespace {

// Events merged between two looks at the stop flag.
constexpr std::uint32_t kStopCheckEvents = 4096;

bool eventLess(const MidiEvent& a, const MidiEvent& b)
{
    return orderKey(a) < orderKey(b);
}

// Sorts one track stably. Tracks almost always arrive with their ticks in
// order, and then only runs of equal ticks may need reordering (a meta event
// written before a note at the same tick): those runs are sorted alone.
// Each event from `orderedFrom` on is known to be in order with the one
// before it, so the search for events out of order stops there.
void sortTrack(MidiEventList& list, std::int32_t orderedFrom)
{
    MidiEvent* const first = list.begin();
    MidiEvent* const last = list.end();
    if (last - first < 2 || orderedFrom <= 1) {
        return;
    }
    MidiEvent* const searchEnd = first + std::min<std::ptrdiff_t>(last - first, orderedFrom);
    std::uint64_t previous = orderKey(*first);
    for (MidiEvent* at = first + 1; at < searchEnd; ++at) {
        const std::uint64_t key = orderKey(*at);
        if (key >= previous) {
            previous = key;
            continue;
        }
        if (at->tick < (at - 1)->tick) {
            std::stable_sort(first, last, eventLess);
            return;
        }
        MidiEvent* runStart = at - 1;
        while (runStart != first && (runStart - 1)->tick == at->tick) {
            --runStart;
        }
        MidiEvent* runEnd = at + 1;
        while (runEnd != last && runEnd->tick == at->tick) {
            ++runEnd;
        }
        std::stable_sort(runStart, runEnd, eventLess);
        at = runEnd - 1;
        previous = orderKey(*at);
    }
}

// Events a track gives to the merge before the storage they leave behind
// is released (handed to the merged list, which fills it next).
constexpr std::int32_t kReleaseEvents = 1 << 13;
// How far ahead of a track's next event the merge asks for its memory.
constexpr std::uintptr_t kPrefetchBytes = 16 * sizeof(MidiEvent);

}  // namespace

bool MidiFile::mergeTracks(const std::atomic<bool>* stop)
{
    if (m_trackLayout == MergedTracks || trackCount() == 1) {
        return true;
    }
    const auto stopRaised = [stop] { return stop != nullptr && stop->load(std::memory_order_relaxed); };
    auto merged = std::make_unique<MidiEventList>();
    merged->reserve(200000);

    const std::int32_t rememberedMode = m_tickMode;
    if (rememberedMode == DeltaTicks) {
        toAbsoluteTicks();
    }

    // The result is the stable sort of all tracks appended one after another.
    // Built as a merge instead: each track sorted stably on its own (usually
    // already in order), then the tracks merged, taking the lower track on equal
    // keys. Events are moved, not copied, and the merged list is sized once.
    // Each track gives back the storage of the events it has handed over as
    // the merge goes, so the events are not held twice at any time.
    // One source per track that has events, in track order.
    struct Source {
        std::int32_t track;
        std::int32_t taken;  // moved out since the track's storage was last released
        MidiEvent* next;
        MidiEvent* end;
    };
    std::int64_t total = 0;
    std::vector<Source> sources;
    std::vector<std::uint64_t> firstKeys;
    // Tracks past the ones made are empty and have nothing to give.
    for (std::int32_t t = 0; t < m_tracks.getSize(); ++t) {
        if (stopRaised()) {
            return dropEventsAfterStop(rememberedMode);
        }
        if (!m_tracks.at(t)) {
            continue;
        }
        MidiEventList& list = *m_tracks.at(t);
        sortTrack(list, trackOrderedFrom(t));
        total += list.getSize();
        if (list.getSize() > 0) {
            sources.push_back({t, 0, list.begin(), list.end()});
            firstKeys.push_back(orderKey(*list.begin()));
        }
    }
    merged->reserveStorage(total);
    LoserTree tournament(firstKeys);
    // Each event is moved out and destroyed at once, while it is in cache;
    // its track then only forgets it.
    const auto forgetTaken = [this](Source& source) {
        m_tracks.at(source.track)->forgetFront(source.taken, nullptr);
        source.taken = 0;
    };
    std::uint32_t untilStopCheck = kStopCheckEvents;
    while (!tournament.done()) {
        if (--untilStopCheck == 0) {
            if (stopRaised()) {
                for (Source& source : sources) {
                    forgetTaken(source);
                }
                return dropEventsAfterStop(rememberedMode);
            }
            untilStopCheck = kStopCheckEvents;
        }
        Source& source = sources[tournament.winner()];
        MidiEvent& event = *source.next;
        merged->append(std::move(event));
        std::destroy_at(&event);
        ++source.taken;
        if (++source.next == source.end) {
            tournament.replay(LoserTree::kExhausted);
            forgetTaken(source);
            continue;
        }
        // The tracks are read as many interleaved streams, more than the
        // hardware follows on its own: ask for each track's events ahead.
        // (An address, not a pointer: it may lie past the track's end.)
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(source.next) + kPrefetchBytes));
        tournament.replay(orderKey(*source.next));
        if (source.taken == kReleaseEvents) {
            // The events left do not move: `next` and `end` stay valid.
            m_tracks.at(source.track)->forgetFront(source.taken, merged.get());
            source.taken = 0;
        }
    }

    resetTracks();
    // In order by construction: sorting it again would find nothing to do.
    m_tracks.at(0) = std::move(merged);

    if (rememberedMode == DeltaTicks) {
        toDeltaTicks();
    }
    return true;
}

bool MidiFile::sortTracksForMerge(const std::atomic<bool>* stop)
{
    // A file of one track is taken as it is, as by mergeTracks.
    if (m_trackLayout == MergedTracks || trackCount() == 1) {
        return true;
    }
    for (std::int32_t t = 0; t < m_tracks.getSize(); ++t) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return dropEventsAfterStop(m_tickMode);
        }
        if (m_tracks.at(t)) {
            sortTrack(*m_tracks.at(t), trackOrderedFrom(t));
            noteTrackOrderedFrom(t, 0);
        }
    }
    return true;
}

std::vector<MergedEvents::Source> MergedEvents::sourcesOf(const MidiFile& file)
{
    std::vector<Source> sources;
    for (std::int32_t t = 0; t < file.trackCount(); ++t) {
        const MidiEventList& list = file.track(t);
        if (list.getSize() > 0) {
            sources.push_back({list.begin(), list.end()});
        }
    }
    return sources;
}

std::vector<std::uint64_t> MergedEvents::firstKeysOf(const std::vector<Source>& sources)
{
    std::vector<std::uint64_t> keys;
    keys.reserve(sources.size());
    for (const Source& source : sources) {
        keys.push_back(orderKey(*source.next));
    }
    return keys;
}

MergedEvents::MergedEvents(const MidiFile& file) : m_sources(sourcesOf(file)), m_tree(firstKeysOf(m_sources)) {}

bool MidiFile::dropEventsAfterStop(std::int32_t rememberedMode)
{
    resetTracks();
    m_tickMode = rememberedMode;
    return false;
}

int MidiFile::compareEvents(const MidiEvent& a, const MidiEvent& b)
{
    if (a.tick > b.tick) {
        return 1;
    }
    if (a.tick < b.tick) {
        return -1;
    }
    if (a.isMeta() && !b.isMeta()) {
        return 1;
    }
    if (b.isMeta() && !a.isMeta()) {
        return -1;
    }
    if (b.isEndOfTrack()) {
        return -1;
    }
    if (a.isEndOfTrack()) {
        return 1;
    }
    return 0;
}
