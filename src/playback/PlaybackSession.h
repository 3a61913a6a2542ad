#pragma once

#include "coilmodel/CoilLimiter.h"
#include "playback/AppState.h"
#include "playback/Clock.h"
#include "playback/RigOutputs.h"
#include "rig/RigSong.h"
#include "song/NoteList.h"
#include "song/PlaybackOptions.h"
#include "song/SongLoader.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class PlaybackObserver;

// How a session gets its notes: loadRigSong, or a stand-in in tests. The
// stop flag is the session's AppState::stopRequested; the lines go to the
// session's observer.
using SongLoad = std::function<LoadedRigSong(const std::string& fileName, const Rig& rig,
                                             const PlaybackOptions& options, const std::atomic<bool>* stop,
                                             DiagnosticSink& sink)>;

// One playback of one file on the rig in force (AppState::rig(), else the
// default rig of the options: the single coil): reads it, builds every
// coil's note list, and sends each entry to its coil when it is due. The
// loop is a function of the current time (32-bit wrapping milliseconds), so
// tests drive it with chosen times and no threads; playbackThread wraps it
// with the real clock.
//
// One song clock for every coil: the lead-in, pause, resume, seek, restart,
// Next, Stop and the end of the song act on every coil at once. Entries of
// several coils due together leave in rig order, one per pass; each coil's
// messages keep the order of its list.
//
// Every way out (end of the lists, `playing` cleared, a send a coil refused)
// silences every coil (MidiOutput::silence: all-sound-off, a note-off for
// each key left sounding, all-notes-off) and closes the outputs before the
// session reports that it has ended; the destructor does the same if the
// session is abandoned while its outputs are open. A coil that cannot be
// found or opened, or refuses a message, ends the song on every coil with
// its text (RigOutputs: the coil named; for the default rig
// kCannotOpenControllerText or kControllerLostText), `playing` cleared and
// controllerLost() reported.
//
// Every message leaves through its coil's limits (coil-limits.conf's in the
// options in force, under the coil's own); a cut falls due as an entry does,
// and the pass wakes for it. A song that runs out, is stopped or is left by
// Next or Previous after the limits acted reports what they did, added up
// over the coils (PlaybackObserver::limitsActed).
//
// A coil whose device places messages at their own time (a lead, see
// MidiOutPort::scheduleLeadMs) is handed each message up to the lead ahead
// of its due time, after the limits, in the order of its note list; two
// coils' messages due at the same millisecond are handed for that same
// millisecond, which a JACK client places at the same frame. A pause,
// restart or stop takes back what was handed and has not left before the
// silencing goes out (a pause hands it again after the resume), and the
// song ends a lead after its last message was due, once that has left.
//
// A song's own settings (its settings file, unless AppState::songChoices
// says not to) are laid over the rig when it starts: the coils' channels and
// transpose, the volume, the speed and the loop; the choices' speed and loop
// go before them. The note lists are kept at the song's own speed and scaled
// as they are handed (scaledTimeMs), so a speed change goes on from the same
// place. With the loop on, the turn at its end silences every coil and goes
// on from the first entry due at or after its start.
class PlaybackSession {
public:
    PlaybackSession(AppState& state, PlaybackObserver& observer, SongLoad load = loadRigSong);
    ~PlaybackSession();

    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // The start sequence: read currentFileName, prepare it, extract every
    // coil's notes, open the coils (RigOutputs::open; the default rig's
    // controller where controllerPort says, or where controllerName is found
    // afresh, stored in controllerPort) and send each its channel volume; the song's
    // clock starts when the volume has been sent, so however long the file
    // took to read, the first note keeps its lead-in. Returns false when
    // there is nothing to play; the reason has then been reported as status
    // text, `playing` cleared, and no output opened. A start that is stopped
    // (stopRequested raised, or `playing` cleared) before the controller is
    // opened also returns false, with nothing reported and nothing opened.
    // A rig with a coil missing opens nothing and sends nothing.
    bool start(const MsClock& clock);
    // The same with a clock that reads `now` throughout.
    bool start(std::uint32_t now)
    {
        return start([now] { return now; });
    }

    struct PassResult {
        // False once the session has ended (output closed, `playing` cleared
        // when the song ran out).
        bool goesOn = true;
        // When the next pass has work to do by itself, in the same clock as
        // `now`; nothing when only a change of the shared state can give it
        // work (paused). A time not after `now` asks for another pass at once.
        std::optional<std::uint32_t> wakeAt;
    };

    // One pass of the loop at time `now`: at most one entry is sent.
    PassResult pass(std::uint32_t now);

    // Why the session ended (Playing while it goes on, or before start).
    enum class Ending { Playing, RanOut, Stepped, Stopped, Refused, ControllerTrouble };
    Ending ending() const { return m_ending; }
    // The places to move in the playlist when it ended by Next or Previous.
    int step() const { return m_step; }

    // The note list coil `coil` plays (empty before start), and its next entry.
    const std::vector<NoteListEntry>& notes(std::size_t coil = 0) const { return m_coils[coil].notes; }
    std::size_t nextIndex(std::size_t coil = 0) const { return m_coils[coil].next; }
    std::uint32_t startTime() const { return m_start; }
    // The speed in force, in percent.
    std::int32_t speedPercent() const { return m_speed; }
    // What the coil limits have done to the messages of this song so far:
    // added up over the coils, or of one coil.
    CoilLimitCounts limitCounts() const;
    CoilLimitCounts limitCounts(std::size_t coil) const;

private:
    // What one coil plays: its note list and how far it has been handed.
    struct Handed {
        std::uint32_t dueMs;
        std::size_t resumeAt;
        CoilLimitCounts countsBefore;
    };
    struct CoilPlay {
        std::vector<NoteListEntry> notes;
        std::size_t next = 0;
        // The device's lead (0: messages are sent when due), the time the
        // latest message was handed for, and what was handed that may not
        // have left yet, oldest first: where the coil goes on if it is taken
        // back.
        int leadMs = 0;
        std::uint32_t handedUpTo = 0;
        std::deque<Handed> handed;
    };
    // The next message a pass could send: coil `coil`'s cut or its next entry,
    // leaving at `at`.
    struct Candidate {
        std::size_t coil = 0;
        bool cut = false;
        std::uint32_t at = 0;
    };

    bool stopped() const;
    // Lays the song's settings and the choices over `rig` and takes its
    // speed and loop; false after refusing a settings file that cannot be read.
    bool takeSongSettings(const std::string& fileName, Rig& rig, const PlaybackOptions& options);
    // A note list time at the speed in force, on the session's clock.
    std::uint32_t scaled(std::int32_t timeMs) const;
    void rescaleTotal();
    bool looping() const;
    // Every coil at the loop's start, which is on the song's clock at `now`.
    void goToLoopStart(std::uint32_t now);
    static std::size_t firstAtOrAfter(const std::vector<NoteListEntry>& notes, std::int32_t timeMs);
    // False when a coil refused the silencing.
    bool changeSpeed(const AppState::SpeedRequest& request, std::uint32_t now);
    // True from a successful start until the outputs close.
    bool running() const;
    // Refuses a song that has nothing to play, with the reason; false then.
    bool accepts(const LoadedRigSong& song, const std::string& fileName, bool fromFile, std::int32_t channel);
    // The silencing of a pause, seek, restart or way out, on every coil;
    // false when a coil refused it.
    bool silence();
    // A note-on through its coil's limits, leaving at `at`.
    bool sendNote(std::size_t coil, int key, int velocity, std::uint32_t at);
    // Takes back what was handed ahead and has not left: each coil goes on
    // from the first entry among it, and its limits forget what it counted.
    void takeBackAhead();
    // Every coil has been handed what it was due up to `at`.
    void handedUpTo(std::uint32_t at);
    // The earliest message of any coil at `now`, and when the pass is next due
    // (the earliest time any message comes within its coil's lead).
    std::optional<Candidate> earliest(std::uint32_t now, std::uint32_t& wake) const;
    // Sends it; false when its coil refused it.
    bool sendCandidate(const Candidate& candidate);
    // Every coil has handed its last entry.
    bool ranOut() const;
    // Ends the song after a coil failed: what can still be sent is.
    PassResult endLost();
    void silenceAndClose();
    // Seeks as asked, from `songNow` on the session's clock; false when a
    // coil refused the silencing.
    bool seekTo(const AppState::SeekRequest& seek, std::uint32_t songNow);
    // Reports the progress position and the song's time at `elapsed`.
    void reportPosition(std::uint32_t elapsed);
    void reportLimits();
    void reportProgress(int position);
    std::uint32_t nextSecond(std::uint32_t elapsed) const;
    std::uint32_t nextProgressChange(std::uint32_t elapsed) const;

    AppState& m_state;
    PlaybackObserver& m_observer;
    SongLoad m_load;
    std::vector<CoilPlay> m_coils = std::vector<CoilPlay>(1);
    double m_total = 0.0;
    // Kept after the song ends, closed, for what its limits did.
    std::unique_ptr<RigOutputs> m_outputs;
    std::uint32_t m_start = 0;
    std::uint32_t m_pauseStart = 0;
    // A paused pass has silenced the coils and noted m_pauseStart, and no
    // resume has used it yet.
    bool m_pauseServed = false;
    int m_lastProgress = -1;
    // The whole second of the song last reported by songTime, -1 before it.
    std::int64_t m_lastSecond = -1;
    Ending m_ending = Ending::Playing;
    std::int32_t m_speed = 100;
    std::optional<LoopRegion> m_loop;
    bool m_loopOn = false;
    int m_step = 0;
};
