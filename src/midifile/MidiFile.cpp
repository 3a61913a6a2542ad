#include "midifile/MidiFile.h"

#include "base/Fatal.h"

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
    return *list;
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
}

namespace {

// Events merged between two looks at the stop flag.
constexpr std::uint32_t kStopCheckEvents = 4096;

// The order of compareEvents as one integer per event: the tick (made
// unsigned with its order kept), then a rank at equal ticks: channel messages,
// markers and system-exclusive events, then meta events, then end-of-track.
// Two end-of-track events compare equal here (compareEvents ranks each before
// the other, which no sort can honour).
std::uint64_t orderKey(const MidiEvent& event)
{
    const std::uint8_t* bytes = event.bytes.begin();
    const std::int32_t size = event.bytes.getSize();
    const bool meta = size > 0 && bytes[0] == 0xFF;
    const int rank = meta ? (size > 1 && bytes[1] == 0x2F ? 2 : 1) : 0;
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(event.tick) ^ 0x80000000U) << 2) |
           static_cast<std::uint64_t>(rank);
}

bool eventLess(const MidiEvent& a, const MidiEvent& b)
{
    return orderKey(a) < orderKey(b);
}

// Sorts one track stably. Tracks almost always arrive with their ticks in
// order, and then only runs of equal ticks may need reordering (a meta event
// written before a note at the same tick): those runs are sorted alone.
void sortTrack(MidiEventList& list)
{
    MidiEvent* const first = list.begin();
    MidiEvent* const last = list.end();
    if (last - first < 2) {
        return;
    }
    std::uint64_t previous = orderKey(*first);
    for (MidiEvent* at = first + 1; at != last; ++at) {
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

// One track's next event in the merge.
struct MergeHead {
    std::uint64_t key;
    std::int32_t track;
    std::int32_t taken;  // moved out since the track's storage was last released
    MidiEvent* next;
    MidiEvent* end;

    bool after(const MergeHead& other) const
    {
        return key != other.key ? key > other.key : track > other.track;
    }
};

// Restores the heap order below `heads[0]` after its head has changed.
void siftDown(std::vector<MergeHead>& heads)
{
    const std::size_t count = heads.size();
    std::size_t at = 0;
    const MergeHead moving = heads[0];
    while (true) {
        std::size_t child = 2 * at + 1;
        if (child >= count) {
            break;
        }
        if (child + 1 < count && heads[child].after(heads[child + 1])) {
            ++child;
        }
        if (!moving.after(heads[child])) {
            break;
        }
        heads[at] = heads[child];
        at = child;
    }
    heads[at] = moving;
}

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
    std::int64_t total = 0;
    std::vector<MergeHead> heads;
    // Tracks past the ones made are empty and have nothing to give.
    for (std::int32_t t = 0; t < m_tracks.getSize(); ++t) {
        if (stopRaised()) {
            return dropEventsAfterStop(rememberedMode);
        }
        if (!m_tracks.at(t)) {
            continue;
        }
        MidiEventList& list = *m_tracks.at(t);
        sortTrack(list);
        total += list.getSize();
        if (list.getSize() > 0) {
            heads.push_back({orderKey(*list.begin()), t, 0, list.begin(), list.end()});
        }
    }
    merged->reserveStorage(total);
    std::make_heap(heads.begin(), heads.end(), [](const MergeHead& a, const MergeHead& b) { return a.after(b); });
    std::uint32_t untilStopCheck = kStopCheckEvents;
    while (!heads.empty()) {
        if (--untilStopCheck == 0) {
            if (stopRaised()) {
                return dropEventsAfterStop(rememberedMode);
            }
            untilStopCheck = kStopCheckEvents;
        }
        MergeHead& top = heads[0];
        merged->append(std::move(*top.next));
        if (++top.next != top.end) {
            top.key = orderKey(*top.next);
            if (++top.taken == kReleaseEvents) {
                // The events left do not move: `next` and `end` stay valid.
                m_tracks.at(top.track)->dropFront(top.taken, merged.get());
                top.taken = 0;
            }
        } else {
            top = heads.back();
            heads.pop_back();
            if (heads.empty()) {
                break;
            }
        }
        siftDown(heads);
    }

    resetTracks();
    // In order by construction: sorting it again would find nothing to do.
    m_tracks.at(0) = std::move(merged);

    if (rememberedMode == DeltaTicks) {
        toDeltaTicks();
    }
    return true;
}

bool MidiFile::dropEventsAfterStop(std::int32_t rememberedMode)
{
    resetTracks();
    m_tickMode = rememberedMode;
    return false;
}

void MidiFile::sortAllTracks()
{
    for (auto& list : m_tracks) {
        if (list) {
            sortTrack(*list);
        }
    }
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
