#include "views/Channels.h"

#include "playback/NoteList.h"

#include <array>

namespace {

constexpr int kChannels = 16;

struct ChannelTally {
    ChannelNotes notes;
    bool hasEntries = false;
    bool stopped = false;  // its extraction would have ended here
};

bool raised(const std::atomic<bool>* stop)
{
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

}  // namespace

ChannelSurvey surveyChannels(const MidiFile& prepared, const PlaybackOptions& /*options*/)
{
    // The low-note shift changes keys only and extraction passes velocities
    // through, so counts and times depend on the channel alone.
    ChannelSurvey survey;
    std::array<ChannelTally, kChannels> tallies{};
    const std::int32_t ticksPerQuarter = prepared.ticksPerQuarter();
    if (ticksPerQuarter <= 0) {
        survey.error = "Error: invalid ticks per quarter note " + std::to_string(ticksPerQuarter);
        return survey;
    }
    double tempoBpm = 120.0;
    for (std::int32_t j = 0; j < prepared.eventCount(0); ++j) {
        const MidiEvent& event = prepared.eventAt(0, j);
        const int status = event.byteOr(0);
        const int kind = status & 0xF0;
        if (kind == 0x90 || kind == 0x80) {
            ChannelTally& tally = tallies[static_cast<std::size_t>(status & 0x0F)];
            if (tally.stopped) {
                continue;
            }
            const auto timeMs = noteTimeMs(event.tick, tempoBpm, ticksPerQuarter);
            if (!timeMs) {
                tally.stopped = true;
                if (!survey.error) {
                    survey.error = "Error: note time out of range at tick " + std::to_string(event.tick);
                }
                continue;
            }
            if (!tally.hasEntries) {
                tally.notes.firstMs = *timeMs;
                tally.hasEntries = true;
            }
            tally.notes.lastMs = *timeMs;
            if (kind == 0x90 && event.byteOr(2) > 0) {
                ++tally.notes.notes;
            }
        } else if (status == 0xFF && event.byteOr(1) == 0x51) {
            const auto tempo = readTempo(prepared, j);
            if (!tempo) {
                if (!survey.error) {
                    survey.error = "Error: invalid tempo event at tick " + std::to_string(event.tick);
                }
                break;
            }
            tempoBpm = *tempo;
        }
    }
    for (int channel = 0; channel < kChannels; ++channel) {
        ChannelTally& tally = tallies[static_cast<std::size_t>(channel)];
        if (tally.notes.notes > 0) {
            tally.notes.channel = channel;
            survey.channels.push_back(tally.notes);
        }
    }
    return survey;
}

ChannelFileSurvey surveyChannelsOfFile(const std::string& fileName, const PlaybackOptions& options,
                                       const std::atomic<bool>* stop)
{
    ChannelFileSurvey result;
    MidiFile file(fileName);
    result.read = file.readResult();
    if (raised(stop)) {
        result.stopped = true;
        return result;
    }
    file.toAbsoluteTicks();
    file.mergeTracks();
    if (raised(stop)) {
        result.stopped = true;
        return result;
    }
    result.survey = surveyChannels(file, options);
    return result;
}

std::string channelNotesLine(const std::vector<ChannelNotes>& channels)
{
    if (channels.empty()) {
        return {};
    }
    std::string line = "Notes in this file: ";
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (i > 0) {
            line += ", ";
        }
        line += "channel " + std::to_string(channels[i].channel) + ": " + std::to_string(channels[i].notes);
    }
    return line;
}
