#pragma once

class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;
class SeekSlider;
class QWidget;

// The widgets of the main window's face, laid out: the volume slider on the
// left with its label above it and, under it, the channel volume it sends;
// the playlist, the progress slider (a SeekSlider) and the row of buttons
// (Play, Pause, Stop, Restart, Previous, Next, the Speed box; Fixed Mode and
// Exit at the right) beside them. Each has its object name; nothing is connected but
// the volume's figure to its slider.
struct MainControls {
    QPushButton* play = nullptr;
    QPushButton* pause = nullptr;
    QPushButton* stop = nullptr;
    QPushButton* restart = nullptr;
    QPushButton* previous = nullptr;
    QPushButton* next = nullptr;
    QPushButton* fixedMode = nullptr;
    QPushButton* exit = nullptr;
    QSlider* volume = nullptr;
    QSpinBox* speed = nullptr;
    SeekSlider* progress = nullptr;
    QListWidget* playlist = nullptr;
};

// Builds them in `central`, the volume slider at `volumePosition` (0, the
// top, is loudest), every slider's range 0..127.
MainControls buildMainControls(QWidget* central, int volumePosition);
