#pragma once

#include "midifile/MidiFile.h"
#include "rig/Rig.h"
#include "rig/VoiceRule.h"
#include "song/NoteList.h"
#include "song/PlaybackOptions.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

// What a coil's note rule did to the notes of its channels.
struct CoilNoteCounts {
    std::int64_t played = 0;            // note-ons sent
    std::int64_t droppedByKeyRange = 0;  // note-ons whose key the transpose took out of 0..127
    std::int64_t droppedByVoices = 0;   // note-ons the voice rule dropped on a full coil
    std::int64_t stolenByVoices = 0;    // notes whose key the voice rule released for a newer one
    std::int32_t mostKeysSounding = 0;  // the most keys sounding at once on the coil
    friend bool operator==(const CoilNoteCounts&, const CoilNoteCounts&) = default;
};

// What a coil sends for each note message of its channels, in this order:
// key + transpose (a key that leaves 0..127 is dropped, note-on and note-off
// alike), then the low-note shift of shiftedKey, then, when the coil has
// voices, the VoiceRule on the coil's keys. Without voices every message
// passes, so a coil with no transpose and no voices sends exactly what the
// single coil's note list always held; a key byte above 127 (only a damaged
// file has one) then passes as it always did, and is dropped otherwise, as a
// key out of range.
// Message by message, allocation-free: a song's note list and live input
// alike. One owner calls it.
class CoilNoteRule {
public:
    // The coil's transpose, voices and keep, and its shift as
    // coilOptions(coil, options) gives it.
    CoilNoteRule(const Coil& coil, const PlaybackOptions& options);

    // A note-on (`velocity` > 0) or a note-off (0) of `key` on `channel`
    // (0..15); routing to the coil's channels is the caller's.
    CoilKeyMessages take(std::int32_t channel, std::int32_t key, std::int32_t velocity);
    // The low-note shift of `options` (the Options in force) where the coil
    // leaves it to them, from the next message on: live input follows the
    // Options as they change. Allocation-free.
    void followShift(const PlaybackOptions& options);
    // The coil was silenced: nothing sounds and nothing holds a voice.
    void silenced();
    const CoilNoteCounts& counts() const { return m_counts; }

private:
    void follow(const CoilKeyMessages& sent);

    std::int32_t m_transpose;
    std::optional<bool> m_ownShift;              // the coil's shift_low_notes
    std::optional<std::int32_t> m_ownLowerLimit;  // and lower_limit
    PlaybackOptions m_shift;  // only its low-note shift is read
    std::optional<VoiceRule> m_voices;
    std::array<bool, 128> m_sounding{};  // without voices: each key as the coil has it
    std::int32_t m_keysSounding = 0;
    CoilNoteCounts m_counts;
};

// One coil's note list of a song, with what its rule did.
struct CoilNoteList {
    NoteList notes;
    CoilNoteCounts counts;
};

// The note list of every coil of `rig`, in rig order, from one walk over the
// note times of `file` (prepared as for
// extractNotes): each coil gets the note-ons and note-offs of its channels in
// file order, through its CoilNoteRule, each message timed as extractNotes
// times it (a stolen key's release at the same millisecond as the note-on
// that stole it, just before it). Errors and the stop flag end the walk for
// every coil as they end extractNotes: the same error in every list, or
// `stopped` and no entries. A note time that does not fit in 32 bits, on any
// coil's channels, is such an error: the song cannot be played on the rig.
// Each tempo change is announced to `sink` once, as extractNotes announces it.
std::vector<CoilNoteList> extractRigNotes(const MidiFile& file, const Rig& rig, const PlaybackOptions& options,
                                          DiagnosticSink& sink = noDiagnostics(),
                                          const std::atomic<bool>* stop = nullptr);

// The same for one coil.
CoilNoteList extractCoilNotes(const MidiFile& file, const Coil& coil, const PlaybackOptions& options,
                              DiagnosticSink& sink = noDiagnostics(), const std::atomic<bool>* stop = nullptr);
