#pragma once

#include "base/ChangeSignal.h"
#include "midiout/Controller.h"
#include "rig/Rig.h"
#include "song/PlaybackOptions.h"
#include "song/SongSettings.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The state that the GUI thread (or the command line's main thread) shares
// with the playback and fixed-mode threads. Every flag and value is an
// atomic. The transport requests below are the only way the controlling side
// changes the transport flags, so the panel and the command line make the
// same changes in the same order; each ends with notifyChange() so that a
// waiting worker wakes at once instead of at its next deadline.
//
// Who writes what: `playing` is set by the controlling side and cleared by
// either (Stop, or the worker at the end of its song or on a failure); the
// request flags (`pauseStartPending`, `resumeRequested`, `restartRequested`,
// `pendingVolume`) are raised by the controlling side and taken (reset) by
// the worker when it serves them; everything else is written by the
// controlling side only.
class AppState {
public:
    // 1 while a playback thread should run; cleared by Stop, Exit, closing the
    // window, and by the playback thread at its end.
    std::atomic<int> playing{0};
    // 1 while playback is paused; set by Pause, cleared by Play.
    std::atomic<int> paused{0};
    // Set with `paused`: the worker silences the coil once and notes the time.
    std::atomic<int> pauseStartPending{0};
    // Set by Play while paused: the worker shifts its start time by the
    // length of the pause it served (none when it served none).
    std::atomic<int> resumeRequested{0};
    // Set by Restart: the worker starts its list again (after a resume when paused).
    std::atomic<int> restartRequested{0};
    // Set by Next (+1) and Previous (-1), added up when pressed again before
    // the worker took them: the worker silences the coil, ends its song and
    // plays the file that many places on in the playlist.
    std::atomic<int> stepRequested{0};
    // Play the whole playlist: when a song ends, the next file starts.
    std::atomic<int> wholePlaylist{0};
    // Next on the last file, or the end of the last file of a whole
    // playlist, goes on with the first.
    std::atomic<int> repeatPlaylist{0};
    // Index in the playlist of the file being played: written by the
    // controlling side before a worker starts and by the worker as it moves
    // on; -1 when the file is not one of the playlist.
    std::atomic<int> playingIndex{-1};
    // Channel volume waiting to be sent (127 - volume slider position), -1 when none.
    std::atomic<int> pendingVolume{-1};
    // Device index of the controller, -1 when none was found. A worker that
    // finds the controller under another number (controllerName) stores it.
    std::atomic<int> controllerPort{1};
    // Mirror of the volume slider's position (0 = top = loudest), kept by the GUI.
    std::atomic<int> volumePosition{96};
    // Raised with `playing` cleared by Stop, Exit and closing the window: a
    // worker still reading its song gives up between chunks and opens
    // nothing, so joining it afterwards is short. Lowered when the next
    // worker is handed its song, after the previous one has been joined.
    std::atomic<bool> stopRequested{false};

    // Play from idle: the worker about to start plays `file` (the playlist's
    // file at `index`, -1 when it is none of it) with `options`. Lowers
    // stopRequested, sets `playing` and clears `paused`. The caller has
    // joined any earlier worker first, so that none can still clear
    // `playing` or see the lowered stop flag after this.
    void requestPlay(std::string file, int index, const PlaybackOptions& options);
    // Stop: clears `playing`, raises stopRequested and wakes the worker;
    // `paused` is left as it is.
    void requestStop();
    // Pause, only while playing: the worker silences the coil once and holds
    // the song. Pressed again while paused, it moves the pause start.
    void requestPause();
    // Play while paused: the worker goes on where the song paused. A pause
    // start not yet served is dropped with it: the song never stopped.
    void requestResume();
    // Restart: the worker (this one or the next) starts its list again.
    void requestRestart();
    // Seek: the worker silences the coil and goes on from the first entry
    // due at or after `positionMs` on the song's clock (lead-in included);
    // while paused, that is where Play resumes.
    void requestSeek(std::int32_t positionMs);
    // The same, `deltaMs` from wherever the song is when the worker serves
    // it; added to a seek not yet served.
    void requestSeekBy(std::int32_t deltaMs);
    // Next (+1) and Previous (-1), only while playing.
    void requestStep(int step);
    // The volume control moved to `position` (0 = top = loudest): the worker
    // sends 127 - position.
    void moveVolume(int position);
    // The playlist modes, read by the worker when a song ends.
    void setWholePlaylist(bool on);
    void setRepeatPlaylist(bool on);
    // The controller was looked for: its device index, -1 when none was found.
    void setControllerPort(int port) { controllerPort.store(port); }

    // Speed: the worker goes on from the current position at `percent`
    // (clamped to kSlowestSpeed..kFastestSpeed) of the song's own speed; the
    // notes sounding are silenced, nothing is skipped. Served once playing
    // (after a resume when paused).
    void requestSpeed(std::int32_t percent);
    // The same, `steps` times kSpeedStep faster (slower when negative) than
    // the speed in force when the worker serves it; added to steps not yet served.
    void requestSpeedStep(std::int32_t steps);
    struct SpeedRequest {
        std::optional<std::int32_t> percent;  // set by requestSpeed
        std::int32_t steps = 0;               // then these steps
    };
    std::optional<SpeedRequest> takeSpeed();

    // The loop of the song playing: `region` (none: no region) and whether
    // it is on. While it is on, at its end every coil is silenced and the
    // song goes on from the first entry due at or after its start, with no
    // lead-in, until Stop or Next.
    struct LoopRequest {
        std::optional<LoopRegion> region;
        bool on = false;
    };
    void setLoop(const LoopRequest& loop);
    std::optional<LoopRequest> takeLoop();

    // What the next song started takes from outside its file: its song
    // settings (unless `useSongSettings` is false), with `speedPercent` and
    // `loop` in place of theirs when set (the command line's --speed and
    // --loop). Without `loops` no loop is played (an offline render, which
    // would never end).
    struct SongChoices {
        bool useSongSettings = true;
        std::optional<std::int32_t> speedPercent;
        std::optional<LoopRegion> loop;
        bool loops = true;
    };
    void setSongChoices(const SongChoices& choices);
    SongChoices songChoices() const;

    struct SeekRequest {
        bool relative = false;
        std::int32_t ms = 0;
    };
    // The seek waiting to be served, taken by the worker (or dropped).
    std::optional<SeekRequest> takeSeek();

    // The files that Next, Previous and the whole playlist go through.
    void setPlaylist(std::vector<std::string> files);
    std::shared_ptr<const std::vector<std::string>> playlist() const;
    // The playlist edited while a worker may run: `files` is the new list,
    // and the old list's file i is now at newIndexOf[i] (-1: removed). The
    // file being played keeps its place (playingIndex follows it, -1 once it
    // was removed), so the worker goes on from where that file is now.
    void editPlaylist(std::vector<std::string> files, const std::vector<int>& newIndexOf);
    // The worker moves to the playlist's file at `index`: its path, with
    // playingIndex set to `index` in the same step, so that no edit comes
    // between; nothing, and playingIndex -1, when no file is there.
    std::optional<std::string> enterPlaylistFile(int index);

    // Path that the next playback thread opens.
    void setCurrentFileName(std::string fileName);
    std::string currentFileName() const;
    // The name of the device that controllerPort chose, by which a worker
    // looks for it again when that number no longer leads to it
    // (kControllerName unless the command line chose another device).
    void setControllerName(std::string name);
    std::string controllerName() const;

    // The options in force. Writers replace the whole record; readers get a
    // snapshot that stays valid while they hold it.
    void setOptions(const PlaybackOptions& options);
    std::shared_ptr<const PlaybackOptions> options() const;
    // The rig of the rig file (or the one coil the command line's
    // --channels, --voices, --keep or --transpose make), read by the next
    // song to start; none (null) without: the default rig of the options
    // then plays (rigInForce). Replaced whole, as the options are.
    void setRig(std::optional<Rig> rig);
    std::shared_ptr<const Rig> rig() const;

    // Wakes the worker waiting in waitForChange. Call after each write above.
    void notifyChange() { m_changes.notify(); }
    // A counter that notifyChange advances: read it before deciding to wait.
    std::uint64_t changeCount() const { return m_changes.count(); }
    // Waits until notifyChange has been called since `seen` was read, or until
    // `deadline`. Returns true when woken by a change. The playback worker's
    // thread only (see ChangeSignal).
    bool waitForChange(std::uint64_t seen, std::chrono::steady_clock::time_point deadline)
    {
        return m_changes.waitUntil(seen, deadline);
    }
    // The same without a deadline.
    void waitForChange(std::uint64_t seen) { m_changes.wait(seen); }

private:
    ChangeSignal m_changes;
    mutable std::mutex m_mutex;
    std::string m_currentFileName;
    std::string m_controllerName = kControllerName;
    std::optional<SeekRequest> m_seek;
    std::optional<SpeedRequest> m_speed;
    std::optional<LoopRequest> m_loop;
    SongChoices m_songChoices;
    std::shared_ptr<const std::vector<std::string>> m_playlist = std::make_shared<const std::vector<std::string>>();
    std::shared_ptr<const PlaybackOptions> m_options = std::make_shared<const PlaybackOptions>();
    std::shared_ptr<const Rig> m_rig;
};
