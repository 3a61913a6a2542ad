#pragma once

#include "base/ChangeSignal.h"
#include "jack/JackMidiQueue.h"
#include "live/LiveCycle.h"
#include "live/LiveForwarder.h"
#include "midiin/MidiInputService.h"
#include "rig/Rig.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class AppState;
class RigOutputs;

// How live mode ended.
enum class LiveEnd { Stopped, InputLost, ControllerLost };

inline constexpr const char* kNoInputDevicesText = "Error: no MIDI input devices";
inline constexpr const char* kCannotOpenInputText = "Error: cannot open the input device";
inline constexpr const char* kInputLostText = "Error: lost the connection to the input device";

// What live mode tells the user interface. Called on the worker's thread or
// the input device's (never its realtime one): implementations must not touch
// widgets directly.
class LiveObserver {
public:
    virtual ~LiveObserver() = default;
    // A note-on went out: the key it sounded and the coil model's estimate of
    // the duty afterwards (0..1).
    virtual void notePlayed(int key, double duty) = 0;
    // At the end of a session in which the coil limits acted: what they did,
    // as a song reports it (PlaybackObserver::limitsActed).
    virtual void limitsActed(const CoilLimitCounts& counts) = 0;
};

// Live mode: one input device played through a LiveForwarder to the coils of
// the rig (AppState::rig(); without a rig file the controller at
// AppState::controllerPort), with the options in force (AppState::options())
// for each message.
//
// An input whose cycle is the coils' own (JACK, the keyboard and every coil
// ports of the one client) forwards within that cycle (LiveCycle): a note
// goes out at the frame it came in on, and so do the cuts of the maximum note
// length at theirs; the worker (run()) tells the observer of the notes played
// and hands the options in force over, looked at every tenth of a second.
// Any other realtime input only queues the bytes and wakes the worker, which
// forwards them at once: a note goes out in the cycle after the one it came
// in. An input on an ordinary thread (ALSA) forwards from there as the
// message arrives. The worker also wakes for the cuts of the maximum note
// length, a volume change, stop(), and a change that may have taken a device
// away; an input that does not tell of its going is looked at every second.
// It never spins.
//
// A session that ends after the limits acted says what they did.
//
// Every way out silences every coil (MidiOutput::silence: all-sound-off, a
// note-off for every key left sounding, all-notes-off) and closes the
// devices; the keyboard's own all-sound-off or all-notes-off silences every
// coil too. A coil that refuses a message ends live mode on every coil.
class LiveSession final : public MidiInputSink {
public:
    LiveSession(AppState& state, LiveObserver& observer, MidiInputService& inputs, int inputDevice, int inputChannel);
    ~LiveSession() override;

    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Opens every coil's device and the input and sends the channel volume
    // (0..127). Nothing is left open when it fails: startError() says why
    // when a coil's device failed.
    enum class Start { Started, ControllerFailed, InputFailed };
    Start start(int volume);
    // Why the coils did not open: "Error: coil NAME not found (DEVICE)",
    // "Error: cannot open coil NAME (DEVICE)", or for the single coil
    // "Error: cannot open the controller".
    const std::string& startError() const { return m_startError; }
    // After LiveEnd::ControllerLost: the coil that went, "Error: lost the
    // connection to coil NAME (DEVICE)" (for the single coil "Error: lost the
    // connection to the controller").
    std::string lostText() const;
    // The worker: forwards until stop() or a device goes, then silences the
    // coil and closes both devices. Once, after a successful start.
    LiveEnd run();
    // Any thread.
    void stop();
    void setVolume(int value);

    // MidiInputSink.
    void received(const std::uint8_t* bytes, std::size_t length) noexcept override;
    void changed() noexcept override;
    void cycle(MidiInputCycle& cycle) noexcept override;

private:
    // With m_mutex held: the volume asked for, a silence after lost input,
    // the cuts due and `bytes`, sent at `now`. False when the controller
    // refused a message.
    bool pass(const std::vector<std::uint8_t>& bytes, std::uint32_t now);
    // With m_mutex held, while the input's cycle forwards: the volume asked
    // for, the options in force, the notes played told. False when a coil
    // refused a message.
    bool passAlongside();
    // With m_mutex held: forwards, sends, tells the observer. False when the
    // controller refused a message.
    bool forward(const std::uint8_t* bytes, std::size_t length, std::uint32_t now);
    bool send(const CoilMessages& out);
    // With m_mutex held: false (the coil noted) when a coil's device has gone.
    bool allConnected();
    void finish();
    // Returns once no cycle of the input is forwarding, nor will again.
    void handBack();

    // The rig at construction and whether it came from a rig file.
    struct RigChoice {
        std::shared_ptr<const Rig> rig;
        bool fromFile = false;
    };
    static RigChoice rigOf(const AppState& state);

    AppState& m_state;
    LiveObserver& m_observer;
    MidiInputService& m_inputs;
    const int m_inputDevice;
    bool m_realtimeInput = false;
    bool m_inputOpen = false;

    RigChoice m_rig;
    std::string m_startError;

    std::mutex m_mutex;  // the forwarder and the outputs
    LiveForwarder m_forwarder;
    std::unique_ptr<RigOutputs> m_outputs;
    std::size_t m_lostCoil = 0;  // the coil that refused a message
    // Set at start, before the input opens, when its cycle writes to every
    // coil; the input's callback owns the forwarder until the input closes.
    std::unique_ptr<LiveCycle> m_cycle;
    std::atomic<bool> m_inCycle{false};
    std::atomic<bool> m_cycleClosed{false};

    // From the realtime input to the worker (one producer, one consumer).
    JackMidiQueue m_queue{4096};
    std::atomic<bool> m_overflow{false};
    // Notified by every producer above and below; the worker waits on it.
    ChangeSignal m_changes;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_changed{false};
    std::atomic<bool> m_lost{false};  // a send from the input's thread failed
    std::atomic<int> m_pendingVolume{-1};
};
