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

// Beats per minute of a set-tempo event; see readTempo.
std::optional<double> tempoOf(const MidiEvent& event)
{
    if (event.size() < 6) {
        return std::nullopt;
    }
    const std::uint8_t* bytes = event.bytes.begin();
    const std::uint32_t microseconds = (static_cast<std::uint32_t>(bytes[3]) << 16) | (bytes[4] << 8) | bytes[5];
    if (microseconds == 0) {
        return std::nullopt;
    }
    return (60.0 / microseconds) * 1000000.0;
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
    return tempoOf(file.eventAt(0, index));
}

NoteList extractNotes(const MidiFile& file, const PlaybackOptions& options, const std::atomic<bool>* stop)
{
    NoteList list;
    const std::int32_t ticksPerQuarter = file.ticksPerQuarter();
    if (ticksPerQuarter <= 0) {
        list.error = "Error: invalid ticks per quarter note " + std::to_string(ticksPerQuarter);
        return list;
    }
    // The track is walked directly: every position visited is in range, so
    // the per-event index checks of eventAt would only repeat the loop's own.
    const MidiEventList& events = file.track(0);
    list.entries.reserve(static_cast<std::size_t>(events.getSize()));

    std::uint32_t untilStopCheck = kStopCheckEvents;
    for (const MidiEvent& event : events) {
        if (--untilStopCheck == 0) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                list.entries = {};
                list.stopped = true;
                return list;
            }
            untilStopCheck = kStopCheckEvents;
        }
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
            const auto tempo = tempoOf(event);
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
