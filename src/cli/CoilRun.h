#pragma once

#include "base/ArgCursor.h"
#include "cli/CliSupport.h"
#include "midiout/MidiOutput.h"
#include "platform/TerminationSignals.h"
#include "playback/AppState.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class TerminalMode;

// The options of play and live that choose the output devices and what is
// sent besides the notes: the rig (--rig FILE, --no-rig), or --port N or
// --device NAME for the single coil, the send options and the limit options.
struct OutputArgs {
    std::optional<int> port;
    std::optional<std::string> device;
    SendOptions send;
    LimitOptions limits;
    RigArgs rig;
};
// Takes `arg` (with its value from `cursor`) into `args` when it is one of
// them, like takeNoteOption.
bool takeOutputOption(const std::string& arg, ArgCursor& cursor, OutputArgs& args);
// A UsageError for --port given with --device, or --rig with either.
void checkOutputArgs(const OutputArgs& args);

// What play and live do around the worker that drives the coil, in one place.
//
// The prologue (the constructor): the curve and the limits put in force in
// the options, the rig file read (AppState::setRig), the ending signals taken
// (from there on a Ctrl-C ends the run cleanly, also while the device is
// found), and the output device chosen: every coil's of a rig file, none
// missing ("Error: coil NAME not found (DEVICE)"), else the single coil's.
// One output object holds the device table from the choice until the run
// ends, so the worker opens the device chosen, or fails to when it has gone,
// instead of counting afresh and finding another one.
//
// The terminal seam (watch): the main thread waits for an ending signal or a
// key, a tenth of a second at a time, until the worker has ended.
//
// The end: resetEveryChannel, and the exit status (128 + the signal's number
// after a signal, as a shell expects: 130 after Ctrl-C).
class CoilRun {
public:
    CoilRun(const OutputArgs& args, PlaybackOptions& options);

    // 0 once ready; else the exit status, the reason printed on standard
    // error: 2 for a limits or rig file that cannot be read, otherwise 1.
    int failure() const { return m_failure; }
    // controllerPort (the device chosen) and the options are set.
    AppState& state() { return m_state; }
    // The output object that holds the device table, and the device chosen.
    MidiOutput& device() { return *m_device; }
    int port() const { return m_port; }
    // Every device the run plays on: port(), or each coil's of the rig.
    const std::vector<int>& ports() const { return m_resetPorts; }

    struct Watch {
        // The worker has ended: the wait is over.
        std::function<bool()> finished;
        // Answers the signals pending (taken one by one with take(), 0 when
        // none is left): the one that ends the run, or 0.
        std::function<int(const std::function<int()>& take)> answerSignals;
        std::function<void(char key)> key;
        // After each wait, whatever came.
        std::function<void()> tick;
    };
    void watch(TerminalMode& terminal, const Watch& watch);
    TerminationSignals& signals() { return m_signals; }

    // After the worker has silenced channel 0 and closed the devices: opens
    // them once more (the single coil's, or every coil's of the rig), so that
    // the last output object, going with this run, resets them (every
    // channel goes quiet).
    void resetEveryChannel();
    bool stoppedBySignal() const { return m_stoppedBy != 0; }
    // 128 + the signal that ended the run, or `status` when none did.
    int exitStatus(int status) const { return m_stoppedBy != 0 ? 128 + m_stoppedBy : status; }

private:
    int m_failure = 1;
    TerminationSignals m_signals{TerminationSignals::Delivery::SignalFd, TerminationSignals::JobControl::Taken};
    std::optional<MidiOutput> m_device;
    int m_port = -1;
    // What resetEveryChannel opens: m_port, or every coil's device.
    std::vector<int> m_resetPorts;
    AppState m_state;
    int m_stoppedBy = 0;
};
