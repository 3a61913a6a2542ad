#pragma once

#include "live/LiveSession.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <thread>

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
// `statusReporter`.
class LiveInputDialog : public QDialog, private LiveObserver {
    Q_OBJECT

public:
    LiveInputDialog(AppState& state, PlaybackObserver& statusReporter, int volumePosition, QWidget* parent = nullptr);
    ~LiveInputDialog() override;

    void done(int result) override;

private:
    Q_INVOKABLE void showNote();
    Q_INVOKABLE void sessionEnded(int end);

    void refresh();
    void restart();
    void stopSession();
    void showLine(const QString& text);

    // LiveObserver, on the worker's or the input's thread.
    void notePlayed(int key, double duty) override;

    AppState& m_state;
    PlaybackObserver& m_statusReporter;
    QComboBox* m_inputBox = nullptr;
    QComboBox* m_channelBox = nullptr;
    QSlider* m_volumeSlider = nullptr;
    QLabel* m_noteLine = nullptr;
    std::unique_ptr<LiveSession> m_session;
    std::thread m_worker;
    // The latest note; at most one queued call shows it.
    std::atomic<int> m_lastKey{0};
    std::atomic<double> m_lastDuty{0.0};
    std::atomic<bool> m_notePosted{false};
};
