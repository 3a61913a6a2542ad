#pragma once

#include "base/WorkerOwner.h"
#include "fixed/FixedModeControls.h"
#include "fixed/FixedModeThread.h"

#include <QDialog>

#include <atomic>
#include <optional>

class AppState;
class MidiOutput;
class PlaybackObserver;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

// The "Fixed Mode" dialog: a Frequency slider (key 40..80) with a field that
// shows its pitch and name ("330 Hz E4") and takes a frequency or a key's
// name typed into it (Enter or leaving the field moves the slider), a Power
// slider (0..127) with what is sent (the channel volume, and the tone's
// velocity after the coil limits, or that it is silent), "Sound again" (Alt+A)
// for a tone that the maximum note length cut, and OK. Building it starts
// the fixed-mode thread on the controller (when there is one); the sliders
// reach the thread through FixedModeControls, and the thread's status texts
// go to `statusReporter`. With a rig file of more than one coil a Coil box
// chooses the coil that sounds, the first to begin with; choosing another
// ends the tone on the one before (its thread silences it and is joined) and
// starts it afresh on the one chosen.
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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Q_INVOKABLE void applyPositions();
    // Starts the fixed-mode thread on coil `coil` of the rig (0 without one).
    void startOn(std::size_t coil);
    Q_INVOKABLE void applyVelocity();
    // The frequency typed: the slider goes there, or the field shows the
    // slider's again.
    void takeTypedFrequency();
    void showFrequency(int key);
    void showPower();

    // FixedModeObserver, called on the fixed-mode thread.
    void statusText(const std::string& text) override;
    void showPositions(int key, int power) override;
    void velocitySent(std::optional<int> velocity) override;

    PlaybackObserver& m_statusReporter;
    FixedModeControls m_controls;
    QSlider* m_frequencySlider = nullptr;
    QSlider* m_powerSlider = nullptr;
    QComboBox* m_coilBox = nullptr;  // only for a rig file of two coils or more
    AppState& m_state;
    MidiOutput& m_output;
    QLineEdit* m_frequencyEdit = nullptr;
    QLabel* m_powerValue = nullptr;
    // The velocity the thread reported last, -1 for a silent tone; posted
    // as the positions are.
    std::atomic<int> m_velocity{-1};
    std::atomic<bool> m_velocityPosted{false};
    // Positions the thread asked to show; only the latest pair matters, so
    // at most one queued call is in flight.
    std::atomic<int> m_shownKey{kFixedStartKey};
    std::atomic<int> m_shownPower{kFixedPowerHighest};
    std::atomic<bool> m_positionsPosted{false};
    // Last: the thread is joined before the controls and the dialog go.
    WorkerOwner m_worker{[this] { m_controls.setRunning(false); }};
};
