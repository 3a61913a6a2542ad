#include "playback/NoteList.h"

#include "midifile/MidiFile.h"

#include <cmath>
#include <iostream>

namespace {

// Events looked at between two looks at the stop flag.
constexpr std::uint32_t kStopCheckEvents = 4096;

std::int32_t shiftedKey(std::int32_t key, const PlaybackOptions& options)
{
    // The shift must leave a valid key: one that would pass 127 goes out unshifted.
    if (options.shiftLowNotes != 0 && key <= options.lowerLimit && key + 8 <= 127) {
        return key + 8;
    }
    return key;
}

}  // namespace

std::optional<std::int32_t> noteTimeMs(std::int32_t tick, double tempoBpm, std::int32_t ticksPerQuarter)
{
    const double a = static_cast<double>(tick) * 60.0 / tempoBpm;
    const double b = a / static_cast<double>(ticksPerQuarter);
    const double ms = std::trunc(1000.0 * b) + kLeadInMs;
    if (!(ms >= INT32_MIN && ms <= INT32_MAX)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(ms);
}

std::optional<double> readTempo(const MidiFile& file, std::int32_t index)
{
    const MidiEvent& event = file.eventAt(0, index);
    if (event.size() < 6) {
        return std::nullopt;
    }
    const std::uint32_t microseconds =
        (static_cast<std::uint32_t>(event.bytes.at(3)) << 16) | (event.bytes.at(4) << 8) | event.bytes.at(5);
    if (microseconds == 0) {
        return std::nullopt;
    }
    return (60.0 / microseconds) * 1000000.0;
}

NoteList extractNotes(const MidiFile& file, const PlaybackOptions& options, const std::atomic<bool>* stop)
{
    NoteList list;
    const std::int32_t ticksPerQuarter = file.ticksPerQuarter();
    if (ticksPerQuarter <= 0) {
        list.error = "Error: invalid ticks per quarter note " + std::to_string(ticksPerQuarter);
        return list;
    }
    list.entries.reserve(static_cast<std::size_t>(file.eventCount(0)));

    // One pass over the merged track, unchecked: every position is in range.
    const MidiEventList& events = file.track(0);
    const MidiEvent* const first = events.begin();
    const std::int32_t count = events.getSize();
    std::uint32_t untilStopCheck = kStopCheckEvents;
    for (std::int32_t j = 0; j < count; ++j) {
        if (--untilStopCheck == 0) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                list.entries = {};
                list.stopped = true;
                return list;
            }
            untilStopCheck = kStopCheckEvents;
        }
        const MidiEvent& event = first[j];
        const int status = event.byteOr(0);
        if ((status & 0x0F) != options.playChannel && status != 0xFF) {
            continue;
        }
        const int kind = status & 0xF0;
        if (kind == 0x90 || kind == 0x80) {
            const auto timeMs = noteTimeMs(event.tick, list.tempoBpm, ticksPerQuarter);
            if (!timeMs) {
                list.error = "Error: note time out of range at tick " + std::to_string(event.tick);
                return list;
            }
            const std::int32_t key = shiftedKey(event.byteOr(1), options);
            const std::int32_t velocity = kind == 0x90 ? event.byteOr(2) : 0;
            list.entries.push_back({key, velocity, *timeMs});
        } else if (status == 0xFF && event.byteOr(1) == 0x51) {
            const auto tempo = readTempo(file, j);
            if (!tempo) {
                list.error = "Error: invalid tempo event at tick " + std::to_string(event.tick);
                return list;
            }
            list.tempoBpm = *tempo;
            std::cout << "Tempo change detected, new tempo = " << list.tempoBpm << std::endl;
        }
    }
    return list;
}
