#include "views/Channels.h"

#include "song/NoteList.h"
#include "song/SongLoader.h"

#include <array>

namespace {

constexpr int kChannels = 16;

struct ChannelTally {
    ChannelNotes notes;
    bool hasEntries = false;
    bool stopped = false;  // its extraction would have ended here
};

}  // namespace

ChannelSurvey surveyChannels(const MidiFile& prepared, const PlaybackOptions& /*options*/,
                             const std::atomic<bool>* stop)
{
    // The low-note shift changes keys only and extraction passes velocities
    // through, so counts and times depend on the channel alone. Every channel
    // is timed in the one walk that extraction makes for one of them.
    ChannelSurvey survey;
    std::array<ChannelTally, kChannels> tallies{};
    const NoteTimesWalk walk = walkNoteTimes(
        prepared, [](int) { return true; },
        [&tallies](const MidiEvent& event, std::optional<std::int32_t> timeMs) {
            ChannelTally& tally = tallies[static_cast<std::size_t>(event.byteOr(0) & 0x0F)];
            if (tally.stopped) {
                return true;
            }
            if (!timeMs) {
                tally.stopped = true;
                return true;
            }
            if (!tally.hasEntries) {
                tally.notes.firstMs = *timeMs;
                tally.hasEntries = true;
            }
            tally.notes.lastMs = *timeMs;
            if ((event.byteOr(0) & 0xF0) == 0x90 && event.byteOr(2) > 0) {
                ++tally.notes.notes;
            }
            return true;
        },
        [](double) {}, stop);
    if (walk.stopped) {
        survey.stopped = true;
        return survey;
    }
    survey.error = walk.error;
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
                                       const std::atomic<bool>* stop, DiagnosticSink& sink)
{
    ChannelFileSurvey result;
    MidiFile file;
    // The survey walks the notes of every channel and the tempi, nothing else.
    if (!readAndPrepareSong(file, fileName, result.read, stop, sink, EventSelection::notesAndTempo(0xFFFF))) {
        result.stopped = true;
        return result;
    }
    result.survey = surveyChannels(file, options, stop);
    result.stopped = result.survey.stopped;
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
