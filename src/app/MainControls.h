#pragma once

class QListWidget;
class QPushButton;
class QSlider;
class QWidget;

// The widgets of the main window's face, laid out: the volume slider and its
// label on the left; the playlist, the progress slider and the row of
// buttons (Play, Pause, Stop, Restart, Next; Fixed Mode and Exit at the
// right) beside them. Each has its object name; nothing is connected.
struct MainControls {
    QPushButton* play = nullptr;
    QPushButton* pause = nullptr;
    QPushButton* stop = nullptr;
    QPushButton* restart = nullptr;
    QPushButton* next = nullptr;
    QPushButton* fixedMode = nullptr;
    QPushButton* exit = nullptr;
    QSlider* volume = nullptr;
    QSlider* progress = nullptr;
    QListWidget* playlist = nullptr;
};

// Builds them in `central`, the volume slider at `volumePosition` (0, the
// top, is loudest), every slider's range 0..127.
MainControls buildMainControls(QWidget* central, int volumePosition);
