#include "app/CoilsEdit.h"

#include "base/SettingsFile.h"
#include "midifile/MidiFile.h"
#include "rig/RigFile.h"
#include "views/Channels.h"

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
    const ChannelFileSurvey survey = surveyChannelsOfFile(path, options, stop);
    if (survey.stopped || survey.read.status == ReadResult::Status::CannotOpen) {
        return std::nullopt;
    }
    std::array<SongChannel, 16> channels{};
    for (const ChannelNotes& counted : survey.survey.channels) {
        channels[static_cast<std::size_t>(counted.channel & 15)].notes = counted.notes;
    }
    MidiFile file;
    file.loadFile(path, stop);
    for (std::int32_t t = 0; t < file.trackCount(); ++t) {
        const MidiEventList& track = file.track(t);
        std::string name;
        for (const MidiEvent& event : track) {
            const int status = event.byteOr(0);
            if (status == 0xFF && event.byteOr(1) == 0x03 && name.empty()) {
                name.assign(event.bytes.begin() + std::min(3, event.size()), event.bytes.end());
            } else if ((status & 0xF0) == 0x90 && event.byteOr(2) > 0) {
                std::string& named = channels[static_cast<std::size_t>(status & 15)].track;
                if (named.empty()) {
                    named = name;
                }
            }
        }
    }
    if (stop != nullptr && stop->load()) {
        return std::nullopt;
    }
    return channels;
}
