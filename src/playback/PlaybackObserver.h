#pragma once

#include "base/Diagnostics.h"
#include "coilmodel/CoilLimiter.h"
#include "song/SongSettings.h"

#include <optional>

#include <string>

// How a worker thread reports to the user interface. Called on the worker's
// thread: implementations must not touch widgets directly (the GUI posts
// queued calls; the command-line tool prints). It is also the sink of the
// lines the core makes while it reads each song; they are dropped unless the
// front end takes them.
class PlaybackObserver : public DiagnosticSink {
public:
    ~PlaybackObserver() override = default;
    void diagnostic(const std::string& line) override { static_cast<void>(line); }
    // The song is about to play: its length, the due time of the last entry.
    virtual void songStarted(int totalMs) { static_cast<void>(totalMs); }
    // The song that started plays at `speedPercent`, with `loop` (on or
    // not): its song settings, or what was asked before them. Right after
    // songStarted.
    virtual void songShape(int speedPercent, const std::optional<LoopRegion>& loop, bool loopOn)
    {
        static_cast<void>(speedPercent);
        static_cast<void>(loop);
        static_cast<void>(loopOn);
    }
    // The song playing has a new length: its speed changed.
    virtual void songLength(int totalMs) { static_cast<void>(totalMs); }
    // The worker moved to the file at `index` of the playlist (before its
    // song starts, and only for a file of the playlist).
    virtual void nowPlaying(int index) { static_cast<void>(index); }
    // The song's clock at a whole second (or after a seek): the elapsed
    // milliseconds, lead-in included, at most the song's length.
    virtual void songTime(int elapsedMs) { static_cast<void>(elapsedMs); }
    // A status-bar message.
    virtual void statusText(const std::string& text) = 0;
    // A song ended (ran out, stopped, or left by Next or Previous) after the
    // coil limits changed what it sent: what they did. As a status text
    // unless the observer keeps it apart.
    virtual void limitsActed(const CoilLimitCounts& counts) { statusText(coilLimitsText(counts)); }
    // Position of the progress slider, 0..127; reported when it changes.
    virtual void progress(int position) = 0;
    // The controller could not be opened, or stopped taking messages: the
    // song has ended (a status text has said why), and the device should be
    // looked for again before the next use.
    virtual void controllerLost() {}
    // The worker is about to end; the coil has been silenced.
    virtual void finished() {}
};
