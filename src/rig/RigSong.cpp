#include "rig/RigSong.h"

#include <algorithm>

LoadedSong LoadedRigSong::coilSong(std::size_t index) const
{
    const Coil& coil = rig.coils[index];
    LoadedSong song;
    song.read = read;
    song.notes = coils[index].notes;
    song.options = coilOptions(coil, options);
    song.channel = options.playChannel;
    for (std::int32_t channel = 15; channel >= 0; --channel) {
        song.channel = coil.channels.has(channel) ? channel : song.channel;
    }
    song.stopped = stopped;
    return song;
}

bool LoadedRigSong::silent() const
{
    return std::all_of(coils.begin(), coils.end(), [](const CoilNoteList& coil) { return coil.notes.entries.empty(); });
}

LoadedRigSong loadRigSong(const std::string& fileName, const Rig& rig, const PlaybackOptions& options,
                          const std::atomic<bool>* stop, DiagnosticSink& sink)
{
    LoadedRigSong song;
    song.rig = rig;
    song.options = options;
    MidiFile file;
    const auto raised = [stop] { return stop != nullptr && stop->load(std::memory_order_relaxed); };
    // The walk takes the notes of the coils' channels and the tempi alone.
    ChannelSet everyChannel;
    for (const Coil& coil : rig.coils) {
        everyChannel.bits |= coil.channels.bits;
    }
    if (!readAndPrepareSong(file, fileName, song.read, stop, sink, EventSelection::notesAndTempo(everyChannel.bits))) {
        song.stopped = true;
        song.coils.resize(rig.coils.size());
        return song;
    }
    song.coils = extractRigNotes(file, rig, options, sink, stop);
    if (raised() || (!song.coils.empty() && song.coils.front().notes.stopped)) {
        song.stopped = true;
        song.coils.assign(rig.coils.size(), CoilNoteList{});
    }
    return song;
}

std::int32_t songSpeed(const SongSettings& settings, std::optional<std::int32_t> speedPercent)
{
    return speedPercent.value_or(settings.speedPercent.value_or(100));
}

std::optional<CoilSongSetup> coilSongSetup(Rig rig, const SongSettings& settings, const std::string& coil,
                                           std::optional<std::int32_t> speedPercent, PlaybackOptions options)
{
    applySongSettings(rig, settings);
    const auto named = std::find_if(rig.coils.begin(), rig.coils.end(), [&](const Coil& each) { return each.name == coil; });
    if (named == rig.coils.end()) {
        return std::nullopt;
    }
    const auto index = static_cast<std::size_t>(named - rig.coils.begin());
    rig.coils = {*named};
    // Its lines in the file, for messages that name them.
    if (index < rig.source.coils.size()) {
        rig.source.coils = {rig.source.coils[index]};
    } else {
        rig.source.coils.clear();
    }
    options.speedPercent = songSpeed(settings, speedPercent);
    return CoilSongSetup{std::move(rig), options};
}

LoadedSong loadCoilSong(const std::string& fileName, const CoilSongSetup& setup, const std::atomic<bool>* stop,
                        DiagnosticSink& sink)
{
    return loadRigSong(fileName, setup.rig, setup.options, stop, sink).coilSong(0);
}
