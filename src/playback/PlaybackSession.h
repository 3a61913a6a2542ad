#pragma once

#include "coilmodel/CoilLimiter.h"
#include "playback/AppState.h"
#include "playback/Clock.h"
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

class MidiOutput;
class PlaybackObserver;

// Why a song ended without playing out: the controller refused to open, or
// stopped taking messages (unplugged, its client gone).
inline constexpr const char* kCannotOpenControllerText = "Error: cannot open the controller";
inline constexpr const char* kControllerLostText = "Error: lost the connection to the controller";

// How a session gets its notes: loadSong, or a stand-in in tests. The stop
// flag is the session's AppState::stopRequested; the lines go to the
// session's observer.
using SongLoad = std::function<LoadedSong(const std::string& fileName, const PlaybackOptions& options,
                                          const std::atomic<bool>* stop, DiagnosticSink& sink)>;

// One playback of one file: reads it, builds the note list of the chosen
// channel, and sends each entry to the controller when it is due. The loop is
// a function of the current time (32-bit wrapping milliseconds), so tests
// drive it with chosen times and no threads; playbackThread wraps it with the
// real clock.
//
// Every way out (end of the list, `playing` cleared, a send the controller
// refused) silences the coil (MidiOutput::silence: all-sound-off, a note-off
// for each key left sounding, all-notes-off) and closes the output before the session
// reports that it has ended; the destructor does the same if the session is
// abandoned while its output is open. A controller that cannot be opened, or
// refuses a message, ends the song with kCannotOpenControllerText or
// kControllerLostText, `playing` cleared and controllerLost() reported.
//
// Every message leaves through the coil limits of the options in force; a
// cut falls due as an entry does, and the pass wakes for it. A song that
// runs out, is stopped or is left by Next or Previous after the limits acted
// reports what they did (PlaybackObserver::limitsActed).
//
// A controller that places messages at their own time (a lead, see
// MidiOutPort::scheduleLeadMs) is handed each message up to the lead ahead of
// its due time, after the limits, in the order of the note list. A pause,
// restart or stop takes back what was handed and has not left before the
// silencing goes out (a pause hands it again after the resume), and the
// song ends a lead after its last message was due, once that has left.
class PlaybackSession {
public:
    PlaybackSession(AppState& state, PlaybackObserver& observer, SongLoad load = loadSong);
    ~PlaybackSession();

    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // The start sequence: read currentFileName, prepare it, extract the
    // notes, open the controller (openDevice: where controllerPort says, or
    // where controllerName is found afresh, stored in controllerPort) and
    // send the channel volume; the song's
    // clock starts when the volume has been sent, so however long the file
    // took to read, the first note keeps its lead-in. Returns false when
    // there is nothing to play; the reason has then been reported as status
    // text, `playing` cleared, and no output opened. A start that is stopped
    // (stopRequested raised, or `playing` cleared) before the controller is
    // opened also returns false, with nothing reported and nothing opened.
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

    // The note list being played (empty before start).
    const std::vector<NoteListEntry>& notes() const { return m_notes; }
    std::size_t nextIndex() const { return m_next; }
    std::uint32_t startTime() const { return m_start; }
    // What the coil limits have done to the messages of this song so far.
    const CoilLimitCounts& limitCounts() const { return m_limiter.counts(); }

private:
    bool stopped() const;
    // Sends one message through the limits; false (and m_lost set) when the
    // controller refused it.
    bool send(int controller, int value);
    // The silencing of a pause, seek, restart or way out; false (and m_lost
    // set) when the controller refused it.
    bool silence();
    // A note-on through the limits, leaving at `at`.
    bool sendNote(int key, int velocity, std::uint32_t at);
    // Takes back what was handed ahead and has not left: the song goes on
    // from the first entry among it, and the limits forget what it counted.
    void takeBackAhead();
    // Ends the song after the controller failed: what can still be sent is.
    PassResult endLost();
    void silenceAndClose();
    // Seeks as asked, from `songNow` on the session's clock; false (and
    // m_lost set) when the controller refused the silencing.
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
    std::vector<NoteListEntry> m_notes;
    double m_total = 0.0;
    std::unique_ptr<MidiOutput> m_output;
    std::uint32_t m_start = 0;
    std::uint32_t m_pauseStart = 0;
    // A paused pass has silenced the coil and noted m_pauseStart, and no
    // resume has used it yet.
    bool m_pauseServed = false;
    std::size_t m_next = 0;
    int m_lastProgress = -1;
    // The whole second of the song last reported by songTime, -1 before it.
    std::int64_t m_lastSecond = -1;
    Ending m_ending = Ending::Playing;
    int m_step = 0;
    bool m_lost = false;
    CoilLimiter m_limiter{CoilLimits{}};
    // The controller's lead (0: messages are sent when due), the time the
    // latest message was handed for, and what was handed that may not have
    // left yet, oldest first: where the song goes on if it is taken back.
    int m_leadMs = 0;
    std::uint32_t m_handedUpTo = 0;
    struct Handed {
        std::uint32_t dueMs;
        std::size_t resumeAt;
        CoilLimitCounts countsBefore;
    };
    std::deque<Handed> m_handed;
};
