#include "playback/SongLoader.h"

namespace {

bool raised(const std::atomic<bool>* stop)
{
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

}  // namespace

std::string LoadedSong::readFailureText(const std::string& fileName) const
{
    if (read.ok()) {
        return {};
    }
    if (!read.diagnostics.empty()) {
        return read.firstDiagnostic();
    }
    return "Error: cannot open file " + fileName;
}

LoadedSong loadSong(const std::string& fileName, const PlaybackOptions& options, const std::atomic<bool>* stop)
{
    LoadedSong song;
    MidiFile file(fileName);
    song.read = file.readResult();
    if (raised(stop)) {
        song.stopped = true;
        return song;
    }
    file.toAbsoluteTicks();
    file.mergeTracks();
    if (raised(stop)) {
        song.stopped = true;
        return song;
    }
    song.notes = extractNotes(file, options);
    if (raised(stop)) {
        song.stopped = true;
        song.notes = NoteList{};
    }
    return song;
}
