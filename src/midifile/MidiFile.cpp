#include "midifile/MidiFile.h"

#include <algorithm>
#include <queue>

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

void MidiFile::toAbsoluteTicks()
{
    if (m_tickMode == AbsoluteTicks) {
        return;
    }
    for (auto& list : m_tracks) {
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
}

namespace {

// compareEvents as a strict weak order for the standard algorithms: two
// end-of-track events compare equal (compareEvents ranks each before the other).
bool eventLess(const MidiEvent& a, const MidiEvent& b)
{
    return MidiFile::compareEvents(a, b) < 0 && !(a.isEndOfTrack() && b.isEndOfTrack());
}

void sortTrack(MidiEventList& list)
{
    // Tracks usually arrive ordered: check before sorting.
    if (!std::is_sorted(list.begin(), list.end(), eventLess)) {
        std::stable_sort(list.begin(), list.end(), eventLess);
    }
}

}  // namespace

void MidiFile::mergeTracks()
{
    if (m_trackLayout == MergedTracks || trackCount() == 1) {
        return;
    }
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
    std::int64_t total = 0;
    for (auto& list : m_tracks) {
        sortTrack(*list);
        total += list->getSize();
    }
    merged->reserveStorage(total);

    struct Head {
        std::int32_t track;
        std::int32_t index;
    };
    const auto later = [this](const Head& a, const Head& b) {
        const MidiEvent& ea = m_tracks.at(a.track)->at(a.index);
        const MidiEvent& eb = m_tracks.at(b.track)->at(b.index);
        if (eventLess(eb, ea)) {
            return true;
        }
        return !eventLess(ea, eb) && a.track > b.track;
    };
    std::priority_queue<Head, std::vector<Head>, decltype(later)> heads(later);
    for (std::int32_t t = 0; t < trackCount(); ++t) {
        if (eventCount(t) > 0) {
            heads.push({t, 0});
        }
    }
    while (!heads.empty()) {
        Head head = heads.top();
        heads.pop();
        MidiEventList& source = *m_tracks.at(head.track);
        merged->append(std::move(source.at(head.index)));
        if (++head.index < source.getSize()) {
            heads.push(head);
        }
    }

    resetTracks();
    m_tracks.at(0) = std::move(merged);
    sortAllTracks();

    if (rememberedMode == DeltaTicks) {
        toDeltaTicks();
    }
}

void MidiFile::sortAllTracks()
{
    for (auto& list : m_tracks) {
        sortTrack(*list);
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
