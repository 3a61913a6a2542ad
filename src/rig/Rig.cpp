#include "rig/Rig.h"

#include "coilmodel/CoilLimitsFile.h"

#include <algorithm>

Rig defaultRig(const PlaybackOptions& options)
{
    Coil coil;
    coil.name = kDefaultCoilName;
    coil.channels = ChannelSet::of(options.playChannel);
    return Rig{{coil}, {}};
}

Rig rigInForce(const std::optional<Rig>& fromFile, const PlaybackOptions& options)
{
    return fromFile ? *fromFile : defaultRig(options);
}

CoilLimits coilLimitsInForce(const Coil& coil, const CoilLimits& fileLimits)
{
    return limitsLaidOver(fileLimits, coil.limits);
}

PlaybackOptions coilOptions(const Coil& coil, const PlaybackOptions& options)
{
    PlaybackOptions forCoil = options;
    if (coil.shiftLowNotes) {
        forCoil.shiftLowNotes = *coil.shiftLowNotes ? 1 : 0;
    }
    if (coil.lowerLimit) {
        forCoil.lowerLimit = *coil.lowerLimit;
    }
    forCoil.coilLimits = coilLimitsInForce(coil, options.coilLimits);
    return forCoil;
}

std::optional<std::string> rigLimitsError(const Rig& rig, const CoilLimits& fileLimits)
{
    for (std::size_t i = 0; i < rig.coils.size(); ++i) {
        const Coil& coil = rig.coils[i];
        if (const auto wrong = coilKeyRangeError(coilLimitsInForce(coil, fileLimits))) {
            const int line = i < rig.source.coils.size() ? rig.source.coils[i].keyRange : 0;
            return "Error: " + rig.source.path + ':' + std::to_string(line) + ": " + *wrong + " (with coil-limits.conf)";
        }
    }
    return std::nullopt;
}

std::int32_t coilChannelVolume(const Coil& coil, std::int32_t sliderValue)
{
    return sliderValue * coil.volumePercent / 100;
}

ChannelRoutes::ChannelRoutes(const Rig& rig) : m_coils(17)
{
    for (std::int32_t channel = 0; channel < 16; ++channel) {
        for (std::size_t i = 0; i < rig.coils.size(); ++i) {
            if (rig.coils[i].channels.has(channel)) {
                m_coils[static_cast<std::size_t>(channel)].push_back(i);
            }
        }
    }
}

const std::vector<std::size_t>& ChannelRoutes::coilsOf(std::int32_t channel) const
{
    return m_coils[channel >= 0 && channel < 16 ? static_cast<std::size_t>(channel) : 16];
}

std::vector<std::string> applySongSettings(Rig& rig, const SongSettings& settings)
{
    std::vector<std::string> unknown;
    for (const SongCoilSettings& song : settings.coils) {
        const auto coil = std::find_if(rig.coils.begin(), rig.coils.end(),
                                       [&](const Coil& candidate) { return candidate.name == song.coil; });
        if (coil == rig.coils.end()) {
            unknown.push_back(song.coil);
            continue;
        }
        if (song.channels) {
            coil->channels = ChannelSet{*song.channels};
        }
        if (song.transpose) {
            coil->transpose = *song.transpose;
        }
    }
    if (settings.volumePercent) {
        for (Coil& coil : rig.coils) {
            coil.volumePercent = std::max(1, coil.volumePercent * *settings.volumePercent / 100);
        }
    }
    return unknown;
}
