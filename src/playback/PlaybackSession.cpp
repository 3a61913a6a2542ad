#include "playback/PlaybackSession.h"

#include "midiout/MidiOutput.h"
#include "playback/AppState.h"
#include "playback/Clock.h"
#include "playback/PlaybackObserver.h"
#include "playback/PlaylistRun.h"
#include "song/SongSettingsFile.h"
#include "song/VelocityCurve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

PlaybackSession::PlaybackSession(AppState& state, PlaybackObserver& observer, SongLoad load)
    : m_state(state), m_observer(observer), m_load(std::move(load))
{
}

PlaybackSession::~PlaybackSession()
{
    silenceAndClose();
}

bool PlaybackSession::accepts(const LoadedRigSong& song, const std::string& fileName, bool fromFile,
                              std::int32_t channel)
{
    std::optional<std::string> refusal;
    LoadedSong read;  // for the words of a failed read, without a copy of the notes
    read.read = song.read;
    const CoilNoteList& first = song.coils.front();
    if (!first.notes.ok()) {
        refusal = *first.notes.error;
    } else if (song.silent()) {
        if (!song.read.ok()) {
            refusal = read.readFailureText(fileName);
        } else if (fromFile) {
            refusal = std::string("No notes found on the channels of any coil!");
        } else {
            char text[64];
            std::snprintf(text, sizeof text, "No notes found on channel %d!", channel);
            refusal = text;
        }
    } else if (!song.read.ok()) {
        // A partly read file plays what was read; the reason stays visible.
        m_observer.statusText(read.readFailureText(fileName));
    }
    if (!refusal) {
        refusal = rigLimitsError(song.rig, song.options.coilLimits);
    }
    if (refusal) {
        m_observer.statusText(*refusal);
        m_state.playing.store(0);
        m_ending = Ending::Refused;
        return false;
    }
    return true;
}

bool PlaybackSession::start(const MsClock& clock)
{
    const std::string fileName = m_state.currentFileName();
    const auto options = m_state.options();
    const auto rigFile = m_state.rig();
    Rig rig = rigFile ? *rigFile : defaultRig(*options);
    if (!takeSongSettings(fileName, rig, *options)) {
        return false;
    }
    if (stopped()) {
        m_ending = Ending::Stopped;
        return false;
    }
    {
        // The lists are kept at the song's own speed: a change of speed
        // while it plays scales them afresh from there.
        PlaybackOptions atOwnSpeed = *options;
        atOwnSpeed.speedPercent = 100;
        LoadedRigSong song = m_load(fileName, rig, atOwnSpeed, &m_state.stopRequested, m_observer);
        if (song.stopped || stopped()) {
            m_ending = Ending::Stopped;
            return false;
        }
        if (!accepts(song, fileName, rigFile != nullptr, options->playChannel)) {
            return false;
        }
        m_coils.assign(rig.coils.size(), CoilPlay{});
        for (std::size_t i = 0; i < m_coils.size(); ++i) {
            m_coils[i].notes = std::move(song.coils[i].notes.entries);
        }
        rescaleTotal();
    }
    m_outputs = std::make_unique<RigOutputs>(rig, *options, rigFile != nullptr);
    if (const auto refusal = m_outputs->open(m_state.controllerPort.load(), m_state.controllerName())) {
        m_outputs.reset();
        m_coils.assign(1, CoilPlay{});
        m_observer.statusText(*refusal);
        m_state.playing.store(0);
        m_ending = Ending::ControllerTrouble;
        m_observer.controllerLost();
        return false;
    }
    if (!m_outputs->sendVolume(127 - m_state.volumePosition.load())) {
        endLost();
        return false;
    }
    if (!m_outputs->fromFile()) {
        m_state.controllerPort.store(m_outputs->port(0));
    }
    m_start = clock();
    for (std::size_t i = 0; i < m_coils.size(); ++i) {
        m_coils[i].leadMs = m_outputs->leadMs(i);
        m_coils[i].handedUpTo = m_start;
    }
    m_pauseStart = m_start;
    m_pauseServed = false;
    m_lastSecond = -1;
    m_observer.songStarted(static_cast<int>(m_total));
    if (const auto loop = m_state.takeLoop()) {
        m_loop = loop->region;
        m_loopOn = loop->on;
    }
    m_observer.songShape(m_speed, m_loop, m_loopOn);
    // A song that loops from the start plays its region at once.
    if (looping()) {
        goToLoopStart(m_start);
    }
    return true;
}

bool PlaybackSession::takeSongSettings(const std::string& fileName, Rig& rig, const PlaybackOptions& options)
{
    const AppState::SongChoices choices = m_state.songChoices();
    m_speed = options.speedPercent;
    m_loop.reset();
    m_loopOn = false;
    FoundSongSettings found;
    std::string error;
    if (choices.useSongSettings && !findSongSettings(fileName, found, error, true, &m_state.stopRequested) &&
        !found.path.empty()) {
        // A song that cannot be read is refused by its read, with its reason.
        m_observer.statusText(error);
        m_state.playing.store(0);
        m_ending = Ending::Refused;
        return false;
    }
    if (found.found) {
        applySongSettings(rig, found.settings);
        m_speed = found.settings.speedPercent.value_or(m_speed);
        m_loop = found.settings.loop;
    }
    m_speed = std::clamp(choices.speedPercent.value_or(m_speed), kSlowestSpeed, kFastestSpeed);
    if (choices.loop) {
        m_loop = choices.loop;
    }
    if (!choices.loops) {
        m_loop.reset();
    }
    m_loopOn = m_loop.has_value();
    return true;
}

std::uint32_t PlaybackSession::scaled(std::int32_t timeMs) const
{
    return static_cast<std::uint32_t>(scaledTimeMs(timeMs, m_speed));
}

void PlaybackSession::rescaleTotal()
{
    m_total = 0.0;
    for (const CoilPlay& coil : m_coils) {
        if (!coil.notes.empty()) {
            m_total = std::max(m_total, static_cast<double>(scaled(coil.notes.back().timeMs)));
        }
    }
}

bool PlaybackSession::looping() const
{
    return m_loopOn && m_loop.has_value();
}

void PlaybackSession::goToLoopStart(std::uint32_t now)
{
    for (CoilPlay& coil : m_coils) {
        coil.next = firstAtOrAfter(coil.notes, m_loop->fromMs);
    }
    m_start = now - scaled(m_loop->fromMs);
    handedUpTo(now);
    m_lastSecond = -1;
}

std::size_t PlaybackSession::firstAtOrAfter(const std::vector<NoteListEntry>& notes, std::int32_t timeMs)
{
    const auto first = std::lower_bound(notes.begin(), notes.end(), timeMs,
                                        [](const NoteListEntry& entry, std::int32_t at) { return entry.timeMs < at; });
    return static_cast<std::size_t>(first - notes.begin());
}

bool PlaybackSession::changeSpeed(const AppState::SpeedRequest& request, std::uint32_t now)
{
    const std::int32_t speed =
        std::clamp(request.percent.value_or(m_speed) + request.steps * kSpeedStep, kSlowestSpeed, kFastestSpeed);
    if (speed == m_speed) {
        return true;
    }
    // What was handed ahead is taken back and handed again at the new
    // times; each coil goes on from its first entry that has not left, so
    // nothing is skipped, and from the same place in the song.
    takeBackAhead();
    handedUpTo(now);
    if (!silence()) {
        return false;
    }
    const std::int64_t songMs = unscaledTimeMs(static_cast<std::int64_t>(now - m_start), m_speed);
    m_speed = speed;
    m_start = now - static_cast<std::uint32_t>(scaledTimeMs(static_cast<std::int32_t>(songMs), m_speed));
    rescaleTotal();
    m_lastProgress = -1;
    m_lastSecond = -1;
    m_observer.songLength(static_cast<int>(m_total));
    m_observer.statusText("Speed " + std::to_string(m_speed) + " %");
    return true;
}

bool PlaybackSession::running() const
{
    return m_outputs != nullptr && m_outputs->isOpen();
}

PlaybackSession::PassResult PlaybackSession::pass(std::uint32_t now)
{
    if (!running()) {
        return {false, std::nullopt};
    }
    if (m_state.playing.load() == 0) {
        silenceAndClose();
        m_ending = Ending::Stopped;
        reportLimits();
        return {false, std::nullopt};
    }
    const int volume = m_state.pendingVolume.exchange(-1);
    if (volume >= 0 && !m_outputs->sendVolume(volume)) {
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
            handedUpTo(now);
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
    // A song paused after its last entries ends when it resumes, and one
    // handed ahead once the last message of every coil has left.
    if (ranOut()) {
        for (const CoilPlay& coil : m_coils) {
            const std::uint32_t left = coil.handedUpTo + static_cast<std::uint32_t>(coil.leadMs);
            if (static_cast<std::int32_t>(now - left) < 0) {
                return {true, left};
            }
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
    if (const auto speed = m_state.takeSpeed()) {
        if (!changeSpeed(*speed, now)) {
            return endLost();
        }
        return {true, now};
    }
    if (const auto loop = m_state.takeLoop()) {
        m_loop = loop->region;
        m_loopOn = loop->on;
    }
    // At the loop's end every coil falls silent and the song goes on at its
    // start; the lead-in is not played again.
    if (looping() && static_cast<std::int32_t>(now - m_start - scaled(m_loop->toMs)) >= 0) {
        takeBackAhead();
        if (!silence()) {
            return endLost();
        }
        goToLoopStart(now);
        return {true, now};
    }
    if (m_state.restartRequested.exchange(0) != 0) {
        takeBackAhead();
        if (!silence()) {
            return endLost();
        }
        for (CoilPlay& coil : m_coils) {
            coil.next = 0;
        }
        m_start = now;
        handedUpTo(now);
        return {true, now};
    }

    const std::uint32_t elapsed = now - m_start;
    reportPosition(elapsed);

    std::uint32_t wake = 0;
    if (const auto candidate = earliest(now, wake)) {
        if (!sendCandidate(*candidate)) {
            return endLost();
        }
        // Messages due together leave one per pass, back to back; after the
        // last one the song ends once it has left.
        return {true, now};
    }
    for (const std::uint32_t at : {nextProgressChange(elapsed), nextSecond(elapsed)}) {
        wake = (at - now) < (wake - now) ? at : wake;
    }
    if (looping()) {
        const std::uint32_t loopEnd = m_start + scaled(m_loop->toMs);
        wake = (loopEnd - now) < (wake - now) ? loopEnd : wake;
    }
    return {true, wake};
}

// Each message is handed over once its time is at most its coil's lead away,
// one per pass, and leaves at that time (or now, when it is past). An entry
// is due once the song's clock is strictly past its time; a cut due leaves
// before the entries of its coil due with it or after it. Of the coils, the
// message leaving first goes first, the earlier coil of the rig on a tie.
std::optional<PlaybackSession::Candidate> PlaybackSession::earliest(std::uint32_t now, std::uint32_t& wake) const
{
    const auto leaving = [now](std::uint32_t due) { return static_cast<std::int32_t>(due - now) > 0 ? due : now; };
    std::optional<Candidate> best;
    wake = now + 0x7FFFFFFFU;
    const auto consider = [&](const Candidate& candidate) {
        if (!best || candidate.at - now < best->at - now) {
            best = candidate;
        }
    };
    const auto wakeFor = [&](std::uint32_t at) { wake = (at - now) < (wake - now) ? at : wake; };
    for (std::size_t i = 0; i < m_coils.size(); ++i) {
        const CoilPlay& coil = m_coils[i];
        const auto lead = static_cast<std::uint32_t>(coil.leadMs);
        // While looping, what is due at or after the loop's end waits for
        // the turn, which takes the coil back to the loop's start.
        const bool more = coil.next < coil.notes.size() &&
                          (!looping() || coil.notes[coil.next].timeMs < m_loop->toMs);
        const std::uint32_t entryDue = more ? m_start + scaled(coil.notes[coil.next].timeMs) + 1U : now;
        const std::uint32_t entryAt = leaving(entryDue);
        const auto cutAt = m_outputs->limiter(i).nextCutAt(leaving(coil.handedUpTo));
        if (cutAt && *cutAt - now <= lead && (!more || *cutAt - now <= entryAt - now)) {
            consider({i, true, *cutAt});
        } else if (more && entryAt - now <= lead) {
            consider({i, false, entryAt});
        }
        if (more) {
            wakeFor(entryDue - lead);
        }
        if (cutAt) {
            wakeFor(*cutAt - lead);
        }
    }
    return best;
}

bool PlaybackSession::sendCandidate(const Candidate& candidate)
{
    CoilPlay& coil = m_coils[candidate.coil];
    if (candidate.cut) {
        const auto key = m_outputs->limiter(candidate.coil).takeDueCut(candidate.at);
        return !key || sendNote(candidate.coil, *key, 0, candidate.at);
    }
    const NoteListEntry& entry = coil.notes[coil.next];
    const auto options = m_state.options();
    m_outputs->limiter(candidate.coil)
        .setLimits(coilLimitsInForce(m_outputs->coil(candidate.coil), options->coilLimits));
    if (!sendNote(candidate.coil, entry.key, curvedVelocity(entry.velocity, *options), candidate.at)) {
        return false;
    }
    ++coil.next;
    return true;
}

bool PlaybackSession::ranOut() const
{
    if (looping()) {
        return false;
    }
    return std::all_of(m_coils.begin(), m_coils.end(),
                       [](const CoilPlay& coil) { return coil.next >= coil.notes.size(); });
}

void PlaybackSession::handedUpTo(std::uint32_t at)
{
    for (CoilPlay& coil : m_coils) {
        coil.handedUpTo = at;
    }
}

bool PlaybackSession::seekTo(const AppState::SeekRequest& seek, std::uint32_t songNow)
{
    takeBackAhead();
    handedUpTo(songNow);
    if (!silence()) {
        return false;
    }
    const std::int64_t from = seek.relative ? static_cast<std::int64_t>(songNow - m_start) : 0;
    const std::int64_t wanted = std::clamp<std::int64_t>(from + seek.ms, 0, static_cast<std::int64_t>(m_total) + 1);
    const auto position = static_cast<std::int32_t>(wanted);
    for (CoilPlay& coil : m_coils) {
        const auto first = std::lower_bound(coil.notes.begin(), coil.notes.end(), position,
                                            [this](const NoteListEntry& entry, std::int32_t at) {
                                                return scaled(entry.timeMs) < static_cast<std::uint32_t>(at);
                                            });
        coil.next = static_cast<std::size_t>(first - coil.notes.begin());
    }
    m_start = songNow - static_cast<std::uint32_t>(position);
    m_lastSecond = -1;  // the new place is reported at once
    return true;
}

bool PlaybackSession::stopped() const
{
    return m_state.stopRequested.load() || m_state.playing.load() == 0;
}

bool PlaybackSession::silence()
{
    return m_outputs->silenceAll();
}

bool PlaybackSession::sendNote(std::size_t index, int key, int velocity, std::uint32_t at)
{
    CoilPlay& coil = m_coils[index];
    const CoilLimitCounts before = m_outputs->limiter(index).counts();
    const RigOutputs::Sent sent = m_outputs->sendNote(index, key, velocity, at);
    coil.handedUpTo = at;
    if (sent != RigOutputs::Sent::Handed || coil.leadMs == 0) {
        return sent != RigOutputs::Sent::Refused;
    }
    // What was due two leads ago has left by now.
    while (!coil.handed.empty() && static_cast<std::int32_t>(at - coil.handed.front().dueMs) > 2 * coil.leadMs) {
        coil.handed.pop_front();
    }
    coil.handed.push_back({at, coil.next, before});
    return true;
}

void PlaybackSession::takeBackAhead()
{
    for (std::size_t i = 0; i < m_coils.size(); ++i) {
        CoilPlay& coil = m_coils[i];
        if (coil.leadMs == 0) {
            continue;
        }
        const auto count = std::min(static_cast<std::size_t>(std::max(m_outputs->takeBack(i), 0)), coil.handed.size());
        if (count > 0) {
            const Handed& first = coil.handed[coil.handed.size() - count];
            coil.next = first.resumeAt;
            m_outputs->limiter(i).restoreCounts(first.countsBefore);
        }
        coil.handed.clear();
    }
}

PlaybackSession::PassResult PlaybackSession::endLost()
{
    const std::string text = m_outputs->lostText();
    m_state.playing.store(0);
    silenceAndClose();
    m_ending = Ending::ControllerTrouble;
    m_observer.statusText(text);
    m_observer.controllerLost();
    return {false, std::nullopt};
}

void PlaybackSession::silenceAndClose()
{
    if (!running()) {
        return;
    }
    // Tried also after a refused message: a device that refused one may
    // still take this one.
    takeBackAhead();
    m_outputs->silenceAndClose();
    for (CoilPlay& coil : m_coils) {
        coil.notes.clear();
        coil.next = 0;
    }
}

CoilLimitCounts PlaybackSession::limitCounts() const
{
    return m_outputs != nullptr ? m_outputs->limitCounts() : CoilLimitCounts{};
}

CoilLimitCounts PlaybackSession::limitCounts(std::size_t coil) const
{
    return m_outputs != nullptr ? m_outputs->limiter(coil).counts() : CoilLimitCounts{};
}

void PlaybackSession::reportLimits()
{
    if (const CoilLimitCounts counts = limitCounts(); counts.any()) {
        m_observer.limitsActed(counts);
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
