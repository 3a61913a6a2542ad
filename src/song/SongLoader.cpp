#include "song/SongLoader.h"

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

bool readAndPrepareSong(MidiFile& file, const std::string& fileName, ReadResult& read, const std::atomic<bool>* stop,
                        DiagnosticSink& sink, EventSelection keep)
{
    file.loadFile(fileName, stop, sink, keep);
    read = file.readResult();
    if (read.status == ReadResult::Status::Stopped || raised(stop)) {
        return false;
    }
    file.toAbsoluteTicks();
    return file.sortTracksForMerge(stop);
}

LoadedSong loadSong(const std::string& fileName, const PlaybackOptions& options, const std::atomic<bool>* stop,
                    DiagnosticSink& sink)
{
    LoadedSong song;
    song.channel = options.playChannel;
    song.options = options;
    MidiFile file;
    if (!readAndPrepareSong(file, fileName, song.read, stop, sink, noteTimesEventsOf(options.playChannel))) {
        song.stopped = true;
        return song;
    }
    song.notes = extractNotes(file, options, stop, sink);
    if (song.notes.stopped || raised(stop)) {
        song.stopped = true;
        song.notes = NoteList{};
    }
    return song;
}
