#pragma once

#include "app/GuiCalls.h"

#include "base/WorkerOwner.h"
#include "live/LiveSession.h"

#include <QDialog>

#include <memory>
#include <mutex>

class AppState;
class PlaybackObserver;
class QComboBox;
class QLabel;
class QSlider;

// The "Live Input" dialog: the input devices (with a refresh), the input
// channel (or all), a volume slider of its own starting at `volumePosition`
// (0 = top = loudest, as the main window's), and a line with the last note
// played and the coil model's estimate of the duty. While it is open a
// LiveSession forwards the chosen device to the controller on a worker
// thread; a change of device or channel starts it afresh. Closing it in any
// way stops the worker and silences the coil before the dialog ends. A
// device that goes away ends forwarding with its text on the line and in
// `statusReporter`. The worker is owned as every worker is (WorkerOwner): the
// end of a session reaches the dialog with its generation, and one that comes
// after a newer session began is passed over.
class LiveInputDialog : public QDialog, private LiveObserver {
    Q_OBJECT

public:
    // `inputs` lists and opens the input devices; it, `state` and
    // `statusReporter` must outlive the dialog.
    LiveInputDialog(AppState& state, PlaybackObserver& statusReporter, MidiInputService& inputs, int volumePosition,
                    QWidget* parent = nullptr);
    ~LiveInputDialog() override;

    void done(int result) override;

private:
    void showNote();
    void sessionEnded(WorkerOwner::Generation generation, LiveEnd end);

    void refresh();
    void restart();
    void stopSession();
    void showLine(const QString& text);

    // LiveObserver, on the worker's or the input's thread.
    void notePlayed(int key, double duty) override;
    // To the panel's status bar, as a song's.
    void limitsActed(const CoilLimitCounts& counts) override;

    AppState& m_state;
    PlaybackObserver& m_statusReporter;
    MidiInputService& m_inputs;
    QComboBox* m_inputBox = nullptr;
    QComboBox* m_channelBox = nullptr;
    QSlider* m_volumeSlider = nullptr;
    QLabel* m_noteLine = nullptr;
    std::unique_ptr<LiveSession> m_session;
    // The latest note, key and duty as one record; at most one queued call
    // shows it.
    struct Note {
        int key = 0;
        double duty = 0.0;
    };
    std::mutex m_noteMutex;
    Note m_lastNote;
    bool m_notePosted = false;
    // Last: the worker is joined before the session and the dialog go.
    GuiCalls m_calls;
    WorkerOwner m_worker{[this] { m_session->stop(); }};
};
