#include "playback/PlaybackSession.h"

#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "midiout/ShortMessage.h"
#include "playback/AppState.h"
#include "playback/Clock.h"
#include "playback/PlaybackObserver.h"
#include "playback/PlaylistRun.h"
#include "song/VelocityCurve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kChannel = 0;

}  // namespace

PlaybackSession::PlaybackSession(AppState& state, PlaybackObserver& observer, SongLoad load)
    : m_state(state), m_observer(observer), m_load(std::move(load))
{
}

PlaybackSession::~PlaybackSession()
{
    silenceAndClose();
}

bool PlaybackSession::start(const MsClock& clock)
{
    const std::string fileName = m_state.currentFileName();
    const auto options = m_state.options();
    {
        LoadedSong song = m_load(fileName, *options, &m_state.stopRequested, m_observer);
        if (song.stopped || stopped()) {
            m_ending = Ending::Stopped;
            return false;
        }
        std::optional<std::string> refusal;
        if (!song.notes.ok()) {
            refusal = *song.notes.error;
        } else if (song.notes.entries.empty()) {
            if (song.read.ok()) {
                char text[64];
                std::snprintf(text, sizeof text, "No notes found on channel %d!", options->playChannel);
                refusal = text;
            } else {
                refusal = song.readFailureText(fileName);
            }
        } else if (!song.read.ok()) {
            // A partly read file plays what was read; the reason stays visible.
            m_observer.statusText(song.readFailureText(fileName));
        }
        if (refusal) {
            m_observer.statusText(*refusal);
            m_state.playing.store(0);
            m_ending = Ending::Refused;
            return false;
        }
        m_notes = std::move(song.notes.entries);
    }
    m_limiter = CoilLimiter(options->coilLimits);

    m_total = static_cast<double>(m_notes.back().timeMs);
    m_output = std::make_unique<MidiOutput>();
    const int port = openDevice(*m_output, m_state.controllerPort.load(), m_state.controllerName());
    if (port < 0) {
        m_output.reset();
        m_notes.clear();
        m_observer.statusText(kCannotOpenControllerText);
        m_state.playing.store(0);
        m_ending = Ending::ControllerTrouble;
        m_observer.controllerLost();
        return false;
    }
    if (!send(kChannelVolume, 127 - m_state.volumePosition.load())) {
        endLost();
        return false;
    }
    m_state.controllerPort.store(port);
    m_leadMs = std::max(m_output->scheduleLeadMs(), 0);
    m_start = clock();
    m_handedUpTo = m_start;
    m_pauseStart = m_start;
    m_pauseServed = false;
    m_next = 0;
    m_lastSecond = -1;
    m_observer.songStarted(m_notes.back().timeMs);
    return true;
}

PlaybackSession::PassResult PlaybackSession::pass(std::uint32_t now)
{
    if (m_output == nullptr) {
        return {false, std::nullopt};
    }
    if (m_state.playing.load() == 0) {
        silenceAndClose();
        m_ending = Ending::Stopped;
        reportLimits();
        return {false, std::nullopt};
    }
    const int volume = m_state.pendingVolume.exchange(-1);
    if (volume >= 0 && !send(kChannelVolume, volume)) {
        return endLost();
    }
    // Next and Previous end the song as Stop does; what follows is the
    // playlist's business.
    if (const int step = m_state.stepRequested.exchange(0); step != 0) {
        silenceAndClose();
        m_ending = Ending::Stepped;
        m_step = step;
        reportLimits();
        return {false, std::nullopt};
    }
    if (m_state.paused.load() != 0) {
        if (m_state.pauseStartPending.exchange(0) != 0) {
            takeBackAhead();
            m_handedUpTo = now;
            if (!silence()) {
                return endLost();
            }
            m_pauseStart = now;
            m_pauseServed = true;
        }
        // A seek while paused moves the place where Play resumes.
        const std::uint32_t songNow = m_pauseServed ? m_pauseStart : now;
        if (const auto seek = m_state.takeSeek()) {
            if (!seekTo(*seek, songNow)) {
                return endLost();
            }
            reportPosition(songNow - m_start);
        }
        return {true, std::nullopt};
    }
    // A song paused after its last entry ends when it resumes, and one
    // handed ahead once its last message has left.
    const auto lead = static_cast<std::uint32_t>(m_leadMs);
    if (m_next >= m_notes.size()) {
        if (static_cast<std::int32_t>(now - (m_handedUpTo + lead)) < 0) {
            return {true, m_handedUpTo + lead};
        }
        m_state.playing.store(0);
        silenceAndClose();
        m_ending = Ending::RanOut;
        reportLimits();
        return {false, std::nullopt};
    }

    // Only a pause that a pass served stopped the song's clock; Pause and
    // Play between two passes left it running.
    if (m_state.resumeRequested.exchange(0) != 0 && m_pauseServed) {
        m_start += now - m_pauseStart;
        m_pauseServed = false;
    }
    if (const auto seek = m_state.takeSeek()) {
        if (!seekTo(*seek, now)) {
            return endLost();
        }
        return {true, now};
    }
    if (m_state.restartRequested.exchange(0) != 0) {
        takeBackAhead();
        if (!silence()) {
            return endLost();
        }
        m_next = 0;
        m_start = now;
        m_handedUpTo = now;
        return {true, now};
    }

    const std::uint32_t elapsed = now - m_start;
    reportPosition(elapsed);

    // Each message is handed over once its time is at most the lead away,
    // one per pass, and leaves at that time (or now, when it is past). An
    // entry is due once the song's clock is strictly past its time; a cut due
    // leaves before the entries due with it or after it.
    const auto leaving = [now](std::uint32_t due) { return static_cast<std::int32_t>(due - now) > 0 ? due : now; };
    const NoteListEntry& entry = m_notes[m_next];
    const std::uint32_t entryDue = m_start + static_cast<std::uint32_t>(entry.timeMs) + 1U;
    const std::uint32_t entryAt = leaving(entryDue);
    const auto cutAt = m_limiter.nextCutAt(leaving(m_handedUpTo));
    if (cutAt && *cutAt - now <= lead && *cutAt - now <= entryAt - now) {
        if (const auto key = m_limiter.takeDueCut(*cutAt); key && !sendNote(*key, 0, *cutAt)) {
            return endLost();
        }
        return {true, now};
    }
    if (entryAt - now <= lead) {
        const auto options = m_state.options();
        m_limiter.setLimits(options->coilLimits);
        if (!sendNote(entry.key, curvedVelocity(entry.velocity, *options), entryAt)) {
            return endLost();
        }
        ++m_next;
        // Entries due together leave one per pass, back to back; after the
        // last one the song ends once it has left.
        return {true, now};
    }
    std::uint32_t wake = entryDue - lead;
    for (const std::uint32_t at : {nextProgressChange(elapsed), nextSecond(elapsed), cutAt.value_or(entryDue) - lead}) {
        wake = (at - now) < (wake - now) ? at : wake;
    }
    return {true, wake};
}

bool PlaybackSession::seekTo(const AppState::SeekRequest& seek, std::uint32_t songNow)
{
    takeBackAhead();
    m_handedUpTo = songNow;
    if (!silence()) {
        return false;
    }
    const std::int64_t from = seek.relative ? static_cast<std::int64_t>(songNow - m_start) : 0;
    const std::int64_t wanted = std::clamp<std::int64_t>(from + seek.ms, 0, static_cast<std::int64_t>(m_total) + 1);
    const auto position = static_cast<std::int32_t>(wanted);
    const auto first = std::lower_bound(m_notes.begin(), m_notes.end(), position,
                                        [](const NoteListEntry& entry, std::int32_t at) { return entry.timeMs < at; });
    m_next = static_cast<std::size_t>(first - m_notes.begin());
    m_start = songNow - static_cast<std::uint32_t>(position);
    m_lastSecond = -1;  // the new place is reported at once
    return true;
}

bool PlaybackSession::stopped() const
{
    return m_state.stopRequested.load() || m_state.playing.load() == 0;
}

bool PlaybackSession::send(int controller, int value)
{
    m_limiter.controlChange(controller);
    m_lost = m_lost || m_output->sendControlChange(kChannel, controller, value) != 0;
    return !m_lost;
}

bool PlaybackSession::silence()
{
    m_limiter.silenced();
    m_lost = m_lost || m_output->silence(kChannel) != 0;
    return !m_lost;
}

bool PlaybackSession::sendNote(int key, int velocity, std::uint32_t at)
{
    const CoilLimitCounts before = m_limiter.counts();
    const auto sent = m_limiter.noteOn(key, velocity, at);
    m_handedUpTo = at;
    if (!sent) {
        return !m_lost;
    }
    if (m_leadMs == 0) {
        m_lost = m_lost || m_output->sendNoteOn(kChannel, key, *sent) != 0;
        return !m_lost;
    }
    m_lost = m_lost || m_output->sendNoteOnAt(kChannel, key, *sent, at) != 0;
    // What was due two leads ago has left by now.
    while (!m_handed.empty() && static_cast<std::int32_t>(at - m_handed.front().dueMs) > 2 * m_leadMs) {
        m_handed.pop_front();
    }
    m_handed.push_back({at, m_next, before});
    return !m_lost;
}

void PlaybackSession::takeBackAhead()
{
    if (m_leadMs == 0) {
        return;
    }
    const auto count = std::min(static_cast<std::size_t>(std::max(m_output->takeBack(), 0)), m_handed.size());
    if (count > 0) {
        const Handed& first = m_handed[m_handed.size() - count];
        m_next = first.resumeAt;
        m_limiter.restoreCounts(first.countsBefore);
    }
    m_handed.clear();
}

PlaybackSession::PassResult PlaybackSession::endLost()
{
    m_state.playing.store(0);
    silenceAndClose();
    m_observer.statusText(kControllerLostText);
    m_observer.controllerLost();
    return {false, std::nullopt};
}

void PlaybackSession::silenceAndClose()
{
    if (m_output == nullptr) {
        return;
    }
    // Tried also after a refused message: a device that refused one may
    // still take this one.
    takeBackAhead();
    m_output->silence(kChannel);
    m_limiter.silenced();
    m_output->closePort();
    m_output.reset();
    m_notes.clear();
}

void PlaybackSession::reportLimits()
{
    if (m_limiter.counts().any()) {
        m_observer.limitsActed(m_limiter.counts());
    }
}

void PlaybackSession::reportPosition(std::uint32_t elapsed)
{
    // The product wraps in 32 bits: a song longer than about 9.4 hours
    // starts its progress again, exactly as the position is defined.
    const std::uint32_t scaled = elapsed * 127U;
    reportProgress(m_total > 0.0 ? static_cast<int>(std::min(scaled / m_total, 127.0)) : 127);
    const auto shown = std::min<std::uint32_t>(elapsed, static_cast<std::uint32_t>(m_total));
    if (static_cast<std::int64_t>(shown / 1000U) != m_lastSecond) {
        m_lastSecond = shown / 1000U;
        m_observer.songTime(static_cast<int>(shown));
    }
}

// The start of the next whole second of the song, as an absolute time; far
// in the future once the song's length has been reached.
std::uint32_t PlaybackSession::nextSecond(std::uint32_t elapsed) const
{
    const auto at = static_cast<std::uint32_t>((m_lastSecond + 1) * 1000);
    if (at > static_cast<std::uint32_t>(m_total)) {
        return m_start + elapsed + 0x7FFFFFFFU;
    }
    return m_start + at;
}

void PlaybackSession::reportProgress(int position)
{
    if (position != m_lastProgress) {
        m_lastProgress = position;
        m_observer.progress(position);
    }
}

// The first elapsed time at which the progress position moves on, as an
// absolute time; far in the future once it has reached the end.
std::uint32_t PlaybackSession::nextProgressChange(std::uint32_t elapsed) const
{
    if (m_total <= 0.0 || m_lastProgress >= 127) {
        return m_start + elapsed + 0x7FFFFFFFU;
    }
    const double at = std::ceil((m_lastProgress + 1) * m_total / 127.0);
    const auto atMs = static_cast<std::uint32_t>(std::max(at, static_cast<double>(elapsed) + 1.0));
    return m_start + atMs;
}
