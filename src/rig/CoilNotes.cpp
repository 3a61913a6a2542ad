#include "rig/CoilNotes.h"

#include <algorithm>

namespace {

PlaybackOptions shiftOf(const Coil& coil, const PlaybackOptions& options)
{
    const PlaybackOptions forCoil = coilOptions(coil, options);
    PlaybackOptions shift;
    shift.shiftLowNotes = forCoil.shiftLowNotes;
    shift.lowerLimit = forCoil.lowerLimit;
    return shift;
}

}  // namespace

CoilNoteRule::CoilNoteRule(const Coil& coil, const PlaybackOptions& options)
    : m_transpose(coil.transpose),
      m_ownShift(coil.shiftLowNotes),
      m_ownLowerLimit(coil.lowerLimit),
      m_shift(shiftOf(coil, options))
{
    if (coil.voices) {
        m_voices.emplace(*coil.voices, coil.keep);
    }
}

void CoilNoteRule::followShift(const PlaybackOptions& options)
{
    m_shift.shiftLowNotes = m_ownShift ? (*m_ownShift ? 1 : 0) : options.shiftLowNotes;
    m_shift.lowerLimit = m_ownLowerLimit.value_or(options.lowerLimit);
}

void CoilNoteRule::silenced()
{
    m_sounding = {};
    m_keysSounding = 0;
    if (m_voices) {
        m_voices->silenced();
    }
}

CoilKeyMessages CoilNoteRule::take(std::int32_t channel, std::int32_t key, std::int32_t velocity)
{
    CoilKeyMessages out;
    const std::int32_t moved = key + m_transpose;
    const bool inRange = key >= 0 && key <= 127 && moved >= 0 && moved <= 127;
    if (!inRange && (m_transpose != 0 || m_voices)) {
        m_counts.droppedByKeyRange += velocity > 0 ? 1 : 0;
        return out;
    }
    const std::int32_t coilKey = shiftedKey(moved, m_shift);
    if (!m_voices) {
        out.push({coilKey, velocity});
    } else if (velocity > 0) {
        m_voices->noteOn(channel, key, coilKey, velocity, out);
    } else {
        m_voices->noteOff(channel, key, out);
    }
    follow(out);
    return out;
}

void CoilNoteRule::follow(const CoilKeyMessages& sent)
{
    for (const CoilKeyMessage& message : sent) {
        m_counts.played += message.velocity > 0 ? 1 : 0;
        if (!m_voices && message.key >= 0 && message.key <= 127) {
            bool& sounding = m_sounding[static_cast<std::size_t>(message.key)];
            m_keysSounding += (message.velocity > 0 ? 1 : 0) - (sounding ? 1 : 0);
            sounding = message.velocity > 0;
        }
    }
    if (m_voices) {
        m_keysSounding = m_voices->keysSounding();
        m_counts.droppedByVoices = m_voices->dropped();
        m_counts.stolenByVoices = m_voices->stolen();
    }
    m_counts.mostKeysSounding = std::max(m_counts.mostKeysSounding, m_keysSounding);
}

std::vector<CoilNoteList> extractRigNotes(const MidiFile& file, const Rig& rig, const PlaybackOptions& options,
                                          DiagnosticSink& sink, const std::atomic<bool>* stop)
{
    std::vector<CoilNoteList> lists(rig.coils.size());
    std::vector<CoilNoteRule> rules;
    rules.reserve(rig.coils.size());
    ChannelSet everyChannel;
    for (const Coil& coil : rig.coils) {
        rules.emplace_back(coil, options);
        everyChannel.bits |= coil.channels.bits;
    }
    if (lists.size() == 1) {
        lists[0].notes.entries.reserve(static_cast<std::size_t>(file.totalEventCount()));
    }
    const NoteTimesWalk walk = walkNoteTimes(
        file, [everyChannel](int status) { return everyChannel.has(status & 0x0F); },
        [&](const MidiEvent& event, std::optional<std::int32_t> timeMs) {
            if (!timeMs) {
                return false;
            }
            const std::int32_t channel = event.byteOr(0) & 0x0F;
            const std::int32_t velocity = (event.byteOr(0) & 0xF0) == 0x90 ? event.byteOr(2) : 0;
            for (std::size_t i = 0; i < rules.size(); ++i) {
                if (rig.coils[i].channels.has(channel)) {
                    for (const CoilKeyMessage& message : rules[i].take(channel, event.byteOr(1), velocity)) {
                        lists[i].notes.entries.push_back({message.key, message.velocity, *timeMs});
                    }
                }
            }
            return true;
        },
        [&sink](double tempoBpm) { sink.diagnostic(noteTimes::tempoLine(tempoBpm)); },
        stop);
    for (std::size_t i = 0; i < lists.size(); ++i) {
        NoteList& notes = lists[i].notes;
        notes.error = walk.error;
        notes.tempoBpm = walk.tempoBpm;
        lists[i].counts = rules[i].counts();
        if (walk.stopped) {
            notes.entries = {};
            notes.stopped = true;
        }
        if (!notes.error) {
            applySpeed(notes, options.speedPercent);
        }
    }
    return lists;
}

CoilNoteList extractCoilNotes(const MidiFile& file, const Coil& coil, const PlaybackOptions& options,
                              DiagnosticSink& sink, const std::atomic<bool>* stop)
{
    Rig rig;
    rig.coils.push_back(coil);
    return std::move(extractRigNotes(file, rig, options, sink, stop).front());
}
