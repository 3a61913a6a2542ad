#include "song/SongLength.h"

#include "song/NoteList.h"

std::optional<std::int32_t> songLengthMs(const MidiFile& file, const PlaybackOptions& options,
                                         const std::atomic<bool>* stop)
{
    std::int32_t lastMs = 0;
    bool anyNote = false;
    const NoteTimesWalk walk = walkNoteTimes(
        file, [&options](int status) { return (status & 0x0F) == options.playChannel; },
        [&](const MidiEvent& event, std::optional<std::int32_t> timeMs) {
            if (!timeMs) {
                return false;
            }
            lastMs = *timeMs;
            anyNote = anyNote || ((event.byteOr(0) & 0xF0) == 0x90 && event.byteOr(2) > 0);
            return true;
        },
        [](double) {}, stop);
    if (walk.error || walk.stopped || !anyNote) {
        return std::nullopt;
    }
    return lastMs;
}
