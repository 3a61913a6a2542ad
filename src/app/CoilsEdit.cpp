#include "app/CoilsEdit.h"

#include "base/SettingsFile.h"
#include "midifile/MidiFile.h"
#include "rig/RigFile.h"
#include "song/SongLoader.h"
#include "views/Channels.h"
#include "views/SongCheck.h"

#include <algorithm>

std::optional<CoilsEdit> loadCoilsEdit(const std::string& path, const PlaybackOptions& options, std::string& error)
{
    CoilsEdit edit;
    edit.path = path;
    switch (readSettingsFile(path, "rig file", edit.text, error)) {
    case SettingsRead::Failed:
        return std::nullopt;
    case SettingsRead::Missing: {
        Coil coil = defaultRig(options).coils.front();
        coil.shiftLowNotes = options.shiftLowNotes != 0;
        if (options.lowerLimit >= 0 && options.lowerLimit <= 127) {
            coil.lowerLimit = options.lowerLimit;
        }
        coil.limits = options.coilLimits;
        edit.coils.push_back({coil, std::nullopt});
        return edit;
    }
    case SettingsRead::Read:
        break;
    }
    if (!parseRig(edit.text, path, edit.before, error)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < edit.before.coils.size(); ++i) {
        edit.coils.push_back({edit.before.coils[i], i});
    }
    return edit;
}

std::string newCoilName(const std::vector<EditedCoil>& coils)
{
    for (int number = 2;; ++number) {
        std::string name = "Coil " + std::to_string(number);
        if (std::none_of(coils.begin(), coils.end(), [&](const EditedCoil& c) { return c.coil.name == name; })) {
            return name;
        }
    }
}

std::optional<std::array<SongChannel, 16>> songChannels(const std::string& path, const PlaybackOptions& options,
                                                        const std::atomic<bool>* stop)
{
    MidiFile file;
    ReadResult read;
    readAndPrepareSong(file, path, read, stop, noDiagnostics());
    if (read.status == ReadResult::Status::CannotOpen || read.status == ReadResult::Status::Stopped) {
        return std::nullopt;
    }
    const ChannelSurvey survey = surveyChannels(file, options, stop);
    if (survey.stopped) {
        return std::nullopt;
    }
    const std::array<std::string, 16> names = channelTrackNames(file);
    std::array<SongChannel, 16> channels{};
    for (std::size_t channel = 0; channel < channels.size(); ++channel) {
        channels[channel].track = names[channel];
    }
    for (const ChannelNotes& counted : survey.channels) {
        channels[static_cast<std::size_t>(counted.channel & 15)].notes = counted.notes;
    }
    return channels;
}
