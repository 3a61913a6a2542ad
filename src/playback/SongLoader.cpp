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
    MidiFile file;
    file.loadFile(fileName, stop);
    song.read = file.readResult();
    if (song.read.status == ReadResult::Status::Stopped || raised(stop)) {
        song.stopped = true;
        return song;
    }
    file.toAbsoluteTicks();
    if (!file.mergeTracks(stop)) {
        song.stopped = true;
        return song;
    }
    song.notes = extractNotes(file, options, stop);
    if (song.notes.stopped || raised(stop)) {
        song.stopped = true;
        song.notes = NoteList{};
    }
    return song;
}
