#pragma once

#include <QSlider>

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
