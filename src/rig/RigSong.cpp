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
