#pragma once

#include <QSlider>

// The progress slider: a press on its groove away from the handle moves the
// handle to the place pressed at once and says so (`jumped`), where a plain
// slider would step a page towards it; the press then drags the handle on as
// a press on the handle does. Keys, the wheel and drags work as in any
// horizontal slider.
class SeekSlider : public QSlider {
    Q_OBJECT

public:
    explicit SeekSlider(QWidget* parent = nullptr);

signals:
    // The handle was put at `position` by a press on the groove.
    void jumped(int position);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The slider's value under the x coordinate `x` of the widget.
    int positionAt(int x) const;
};
