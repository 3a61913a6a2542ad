#include "song/NoteList.h"

#include "midifile/MidiFile.h"

#include <cmath>
#include <sstream>

std::int32_t shiftedKey(std::int32_t key, const PlaybackOptions& options)
{
    // The shift must leave a valid key: one that would pass 127 goes out unshifted.
    if (options.shiftLowNotes != 0 && key <= options.lowerLimit && key + 8 <= 127) {
        return key + 8;
    }
    return key;
}

std::int64_t scaledTimeMs(std::int32_t timeMs, std::int32_t speedPercent)
{
    if (timeMs <= kLeadInMs || speedPercent <= 0) {
        return timeMs;
    }
    return kLeadInMs + (static_cast<std::int64_t>(timeMs) - kLeadInMs) * 100 / speedPercent;
}

std::int64_t unscaledTimeMs(std::int64_t scaledMs, std::int32_t speedPercent)
{
    if (scaledMs <= kLeadInMs) {
        return scaledMs;
    }
    return kLeadInMs + (scaledMs - kLeadInMs) * speedPercent / 100;
}

void applySpeed(NoteList& list, std::int32_t speedPercent)
{
    if (speedPercent == 100) {
        return;
    }
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const std::int64_t scaled = scaledTimeMs(list.entries[i].timeMs, speedPercent);
        if (scaled > INT32_MAX) {
            // The whole list is then refused, as a song whose times do not fit.
            list.entries.resize(i);
            list.error = "Error: note time out of range at " + std::to_string(speedPercent) + " % speed";
            return;
        }
        list.entries[i].timeMs = static_cast<std::int32_t>(scaled);
    }
}

EventSelection noteTimesEventsOf(std::int32_t channel)
{
    const bool valid = channel >= 0 && channel < 16;
    return EventSelection::notesAndTempo(valid ? static_cast<std::uint16_t>(1U << channel) : 0);
}

std::string noteTimes::divisionError(std::int32_t ticksPerQuarter)
{
    return "Error: invalid ticks per quarter note " + std::to_string(ticksPerQuarter);
}

std::string noteTimes::timeError(std::int32_t tick)
{
    return "Error: note time out of range at tick " + std::to_string(tick);
}

std::string noteTimes::tempoError(std::int32_t tick)
{
    return "Error: invalid tempo event at tick " + std::to_string(tick);
}

std::string noteTimes::tempoLine(double tempoBpm)
{
    std::ostringstream line;  // the default six significant digits
    line << "Tempo change detected, new tempo = " << tempoBpm;
    return line.str();
}

std::optional<double> tempoOfEvent(const MidiEvent& event)
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

NoteList extractNotes(const MidiFile& file, const PlaybackOptions& options, const std::atomic<bool>* stop,
                      DiagnosticSink& sink)
{
    NoteList list;
    list.entries.reserve(static_cast<std::size_t>(file.totalEventCount()));
    const NoteTimesWalk walk = walkNoteTimes(
        file, [&options](int status) { return (status & 0x0F) == options.playChannel; },
        [&](const MidiEvent& event, std::optional<std::int32_t> timeMs) {
            if (!timeMs) {
                return false;
            }
            const std::int32_t key = shiftedKey(event.byteOr(1), options);
            const std::int32_t velocity = (event.byteOr(0) & 0xF0) == 0x90 ? event.byteOr(2) : 0;
            list.entries.push_back({key, velocity, *timeMs});
            return true;
        },
        [&sink](double tempoBpm) { sink.diagnostic(noteTimes::tempoLine(tempoBpm)); },
        stop);
    list.error = walk.error;
    list.tempoBpm = walk.tempoBpm;
    if (walk.stopped) {
        list.entries = {};
        list.stopped = true;
    }
    if (!list.error) {
        applySpeed(list, options.speedPercent);
    }
    return list;
}
