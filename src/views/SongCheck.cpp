#include "views/SongCheck.h"

#include "rig/RigSong.h"
#include "song/SongLoader.h"
#include "views/Analysis.h"
#include "views/Channels.h"

#include <cstdio>
#include <sstream>

namespace {

constexpr std::int32_t kDrumChannel = 9;

std::string trackName(const MidiEvent& event)
{
    // A meta event is stored as FF, its type, its length and the text.
    const std::int32_t length = std::min(event.byteOr(2), event.size() - 3);
    return length > 0 ? std::string(reinterpret_cast<const char*>(event.bytes.begin() + 3),
                                    static_cast<std::size_t>(length))
                      : std::string();
}

bool anyCoilPlays(const Rig& rig, std::int32_t channel)
{
    for (const Coil& coil : rig.coils) {
        if (coil.channels.has(channel)) {
            return true;
        }
    }
    return false;
}

std::string percentText(double fraction)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", fraction * 100.0);
    return text;
}

std::string numberText(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

std::string notesText(std::int64_t count)
{
    return std::to_string(count) + (count == 1 ? " note" : " notes");
}

std::string channelText(const CheckedChannel& channel)
{
    return "channel " + std::to_string(channel.channel) + " (" + notesText(channel.notes) +
           (channel.trackName.empty() ? "" : ", \"" + channel.trackName + "\"") + ")";
}

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

}  // namespace

std::array<std::string, 16> channelTrackNames(const MidiFile& file)
{
    std::array<std::string, 16> names;
    std::array<bool, 16> named{};
    for (std::int32_t track = 0; track < file.trackCount(); ++track) {
        std::string name;
        const std::int32_t count = file.eventCount(track);
        for (std::int32_t i = 0; i < count; ++i) {
            const MidiEvent& event = file.eventAt(track, i);
            if (event.isMeta() && event.byteOr(1) == 0x03 && name.empty()) {
                name = trackName(event);
            }
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const MidiEvent& event = file.eventAt(track, i);
            const auto channel = static_cast<std::size_t>(event.byteOr(0) & 0x0F);
            if ((event.byteOr(0) & 0xF0) == 0x90 && event.byteOr(2) > 0 && !named[channel]) {
                named[channel] = true;
                names[channel] = name;
            }
        }
    }
    return names;
}

SongCheck checkSong(const std::string& fileName, const Rig& rig, const PlaybackOptions& options, DiagnosticSink& sink,
                    const std::atomic<bool>* stop)
{
    SongCheck check;
    // The channels and their track names from every event of the file, the
    // coils' note lists as playback makes them.
    MidiFile file;
    ReadResult read;
    if (!readAndPrepareSong(file, fileName, read, stop, sink)) {
        check.stopped = true;
        return check;
    }
    if (read.status == ReadResult::Status::CannotOpen) {
        check.error = "Error: cannot open file " + fileName;
        return check;
    }
    const ChannelSurvey survey = surveyChannels(file, options, stop);
    const LoadedRigSong song = loadRigSong(fileName, rig, options, stop);
    if (survey.stopped || song.stopped) {
        check.stopped = true;
        return check;
    }
    if (survey.error || !song.coils.front().notes.ok()) {
        check.error = survey.error ? *survey.error : *song.coils.front().notes.error;
        return check;
    }
    const std::array<std::string, 16> names = channelTrackNames(file);
    std::int64_t songNotes = 0;
    for (const ChannelNotes& channel : survey.channels) {
        songNotes += channel.notes;
        if (!anyCoilPlays(rig, channel.channel)) {
            check.unplayed.push_back(
                {channel.channel, channel.notes, names[static_cast<std::size_t>(channel.channel)]});
        }
    }
    std::int64_t played = 0;
    for (std::size_t i = 0; i < rig.coils.size(); ++i) {
        const Coil& coil = rig.coils[i];
        const PlaybackOptions limited = coilOptions(coil, options);
        PlaybackOptions unlimited = limited;
        unlimited.coilLimits = CoilLimits{};
        const std::vector<NoteListEntry>& entries = song.coils[i].notes.entries;
        CoilCheck result;
        result.coil = coil.name;
        result.counts = song.coils[i].counts;
        const DutySummary asked = coilDutySummary(entries, unlimited);
        result.dutyPeak = asked.peak;
        result.dutyPeakMs = asked.peakMs;
        result.dutyLimitPercent = limited.coilLimits.dutyLimitPercent;
        (void)coilDutySummary(entries, limited, &result.limited);
        result.maxNoteMs = limited.coilLimits.maxNoteMs;
        if (result.maxNoteMs) {
            for (const PairedNote& note : pairNotes(entries)) {
                result.longNotes += note.length > *result.maxNoteMs ? 1 : 0;
            }
        }
        played += result.counts.played;
        check.coils.push_back(result);
    }
    if (played * 10 < songNotes) {
        for (const CheckedChannel& channel : check.unplayed) {
            if (channel.channel != kDrumChannel && (!check.suggestion || channel.notes > check.suggestion->notes)) {
                check.suggestion = channel;
            }
        }
    }
    return check;
}

std::string checkSummaryLine(const SongCheck& check)
{
    if (check.error) {
        return "Check: " + *check.error;
    }
    std::vector<std::string> parts;
    std::int64_t unplayed = 0;
    for (const CheckedChannel& channel : check.unplayed) {
        unplayed += channel.notes;
    }
    if (unplayed > 0) {
        parts.push_back(std::to_string(unplayed) + " notes on channels no coil plays");
    }
    for (const CoilCheck& coil : check.coils) {
        const auto add = [&](std::int64_t count, const char* what) {
            if (count > 0) {
                parts.push_back(std::to_string(count) + " " + what + " on " + coil.coil);
            }
        };
        add(coil.counts.droppedByKeyRange + coil.counts.droppedByVoices + coil.limited.dropped, "dropped");
        add(coil.counts.stolenByVoices, "stolen");
        add(coil.limited.softened, "softened");
        add(coil.longNotes, "too long");
    }
    std::string line;
    for (const std::string& part : parts) {
        line += (line.empty() ? "Check: " : ", ") + part;
    }
    return line;
}

std::string checkReportText(const SongCheck& check)
{
    if (check.error) {
        return *check.error + "\n";
    }
    std::string text;
    if (check.unplayed.empty()) {
        text += "Every channel with notes is played by a coil\n";
    } else {
        text += "Channels no coil plays:";
        for (const CheckedChannel& channel : check.unplayed) {
            text += (&channel == &check.unplayed.front() ? " " : ", ") + channelText(channel);
        }
        text += "\n";
    }
    for (const CoilCheck& coil : check.coils) {
        const CoilNoteCounts& counts = coil.counts;
        text += "Coil " + coil.coil + ": plays " + notesText(counts.played) + ", at most " +
                std::to_string(counts.mostKeysSounding) + " at once; dropped " +
                std::to_string(counts.droppedByKeyRange) + " by transpose or key range, " +
                std::to_string(counts.droppedByVoices) + " by the voice rule; stole " +
                std::to_string(counts.stolenByVoices) + "\n";
        text += "  duty peak " + percentText(coil.dutyPeak) + " % at " + std::to_string(coil.dutyPeakMs) + " ms";
        text += coil.dutyLimitPercent ? " against a limit of " + numberText(*coil.dutyLimitPercent) + " %"
                                      : std::string(", no duty limit");
        text += "; the limits would soften " + std::to_string(coil.limited.softened) + " and drop " +
                std::to_string(coil.limited.dropped) + "\n";
        text += coil.maxNoteMs ? "  " + std::to_string(coil.longNotes) + " longer than the maximum note length of " +
                                     std::to_string(*coil.maxNoteMs) + " ms\n"
                               : std::string("  no maximum note length\n");
    }
    if (check.suggestion) {
        text += "Suggestion: put " + channelText(*check.suggestion) + " on a coil\n";
    }
    return text;
}

const char* const kCheckCsvHeader = "song,finding,coil,channel,count,value,limit,track";

std::string checkReportCsv(const std::string& song, const SongCheck& check)
{
    std::string csv;
    const auto row = [&](const char* finding, const std::string& coil, const std::string& channel,
                         const std::string& count, const std::string& value, const std::string& limit,
                         const std::string& track) {
        csv += csvField(song) + "," + finding + "," + csvField(coil) + "," + channel + "," + count + "," + value +
               "," + limit + "," + csvField(track) + "\n";
    };
    if (check.error) {
        row("error", "", "", "", "", "", *check.error);
        return csv;
    }
    for (const CheckedChannel& channel : check.unplayed) {
        row("unplayed_channel", "", std::to_string(channel.channel), std::to_string(channel.notes), "", "",
            channel.trackName);
    }
    for (const CoilCheck& coil : check.coils) {
        const auto count = [&](const char* finding, std::int64_t value) {
            row(finding, coil.coil, "", std::to_string(value), "", "", "");
        };
        count("played", coil.counts.played);
        count("dropped_key_range", coil.counts.droppedByKeyRange);
        count("dropped_voices", coil.counts.droppedByVoices);
        count("stolen_voices", coil.counts.stolenByVoices);
        count("most_at_once", coil.counts.mostKeysSounding);
        row("duty_peak", coil.coil, "", "", percentText(coil.dutyPeak),
            coil.dutyLimitPercent ? numberText(*coil.dutyLimitPercent) : "", "");
        count("limit_softened", coil.limited.softened);
        count("limit_dropped", coil.limited.dropped);
        row("long_notes", coil.coil, "", std::to_string(coil.longNotes), "",
            coil.maxNoteMs ? std::to_string(*coil.maxNoteMs) : "", "");
    }
    if (check.suggestion) {
        row("suggestion", "", std::to_string(check.suggestion->channel), std::to_string(check.suggestion->notes), "",
            "", check.suggestion->trackName);
    }
    return csv;
}
