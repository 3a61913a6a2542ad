#pragma once

#include <QSlider>

// The highest position of the panel's sliders that stand for a 0..127 MIDI
// value (the volume sliders; the progress slider shares the scale).
inline constexpr int kSliderHighest = 127;

// The volume slider: position 0 (the loudest) at the top, as the value sent
// is 127 - position. A plain inverted slider fills its groove from the top
// down to the handle, which shows a full bar when the coil is silent; this
// one fills from the handle down to the bottom, so that the filled part
// grows with the loudness. Only the picture differs: values, keys and mouse
// work as in any inverted vertical slider.
class VolumeSlider : public QSlider {
    Q_OBJECT

public:
    explicit VolumeSlider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
