#pragma once

#include "base/WorkerOwner.h"
#include "fixed/FixedModeControls.h"
#include "fixed/FixedModeThread.h"

#include <QDialog>

#include <atomic>

class AppState;
class MidiOutput;
class PlaybackObserver;
class QComboBox;
class QSlider;

// The "Fixed Mode" dialog: a Frequency slider (key 40..80), a Power slider
// (0..127) and OK. Building it starts the fixed-mode thread on the
// controller (when there is one); the sliders reach the thread through
// FixedModeControls, and the thread's status texts go to `statusReporter`.
// With a rig file of more than one coil a Coil box chooses the coil that
// sounds, the first to begin with; choosing another ends the tone on the
// one before (its thread silences it and is joined) and starts it afresh on
// the one chosen.
//
// Closing, by OK or by the close box, clears the running flag and joins the
// thread before the dialog ends: the thread finishes its last pass, silences
// the coil once and reports "Exited Fixed Mode", and no pass runs after the
// dialog is gone. The thread never waits for the GUI, so the join is short.
// Escape does not close the dialog.
class FixedModeDialog : public QDialog, private FixedModeObserver {
    Q_OBJECT

public:
    // `output` (where the tone goes, left open on close), `state` and
    // `statusReporter` must outlive the dialog.
    FixedModeDialog(AppState& state, MidiOutput& output, PlaybackObserver& statusReporter, QWidget* parent = nullptr);
    ~FixedModeDialog() override;

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Q_INVOKABLE void applyPositions();
    // Starts the fixed-mode thread on coil `coil` of the rig (0 without one).
    void startOn(std::size_t coil);

    // FixedModeObserver, called on the fixed-mode thread.
    void statusText(const std::string& text) override;
    void showPositions(int key, int power) override;

    PlaybackObserver& m_statusReporter;
    FixedModeControls m_controls;
    QSlider* m_frequencySlider = nullptr;
    QSlider* m_powerSlider = nullptr;
    QComboBox* m_coilBox = nullptr;  // only for a rig file of two coils or more
    AppState& m_state;
    MidiOutput& m_output;
    // Positions the thread asked to show; only the latest pair matters, so
    // at most one queued call is in flight.
    std::atomic<int> m_shownKey{kFixedStartKey};
    std::atomic<int> m_shownPower{kFixedPowerHighest};
    std::atomic<bool> m_positionsPosted{false};
    // Last: the thread is joined before the controls and the dialog go.
    WorkerOwner m_worker{[this] { m_controls.setRunning(false); }};
};
