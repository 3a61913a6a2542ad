// Prepares one MIDI file the way the playback thread does (read, absolute
// ticks, merge, channel-0 note list) and prints, on standard output:
//
//   events=<events in the merged track> notes=<note-list entries>
//
// as its last line. With BENCH_PHASES set in the environment it also prints
// the time of each step and the peak resident memory after it on standard
// error. The reader's and the extraction's own lines go to standard output
// before the result, as they do in the program.

#include "midifile/MidiFile.h"
#include "song/NoteList.h"
#include "song/PlaybackOptions.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Peak resident set size of this process so far, in KiB (0 when unknown).
long peakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

class PhaseTimer {
public:
    explicit PhaseTimer(bool enabled) : m_enabled(enabled) {}

    void lap(const char* name)
    {
        const auto now = Clock::now();
        if (m_enabled) {
            const double ms = std::chrono::duration<double, std::milli>(now - m_last).count();
            std::fprintf(stderr, "%s=%.2fms(peak %ldMB) ", name, ms, peakRssKb() / 1024);
        }
        m_last = Clock::now();
    }

    void finish() const
    {
        if (m_enabled) {
            std::fprintf(stderr, "\n");
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    bool m_enabled;
    Clock::time_point m_last = Clock::now();
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.mid\n", argv[0]);
        return 2;
    }
    PhaseTimer timer(std::getenv("BENCH_PHASES") != nullptr);

    MidiFile file(argv[1]);
    timer.lap("read");
    if (!file.readResult().ok()) {
        std::fprintf(stderr, "%s: %s\n", argv[1], file.readResult().firstDiagnostic().c_str());
        return 1;
    }
    file.toAbsoluteTicks();
    timer.lap("absolute");
    file.mergeTracks();
    timer.lap("merge");

    PlaybackOptions options;
    options.playChannel = 0;
    const NoteList notes = extractNotes(file, options);
    timer.lap("extract");
    timer.finish();
    if (!notes.ok()) {
        std::fprintf(stderr, "%s: %s\n", argv[1], notes.error->c_str());
        return 1;
    }
    std::printf("events=%d notes=%zu\n", file.eventCount(0), notes.entries.size());
    return 0;
}
