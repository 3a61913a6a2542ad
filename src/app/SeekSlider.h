#pragma once

#include <QSlider>

#include <optional>
#include <utility>

// The progress slider: a press on its groove away from the handle moves the
// handle to the place pressed at once and says so (`jumped`), where a plain
// slider would step a page towards it; the press then drags the handle on as
// a press on the handle does. Keys, the wheel and drags work as in any
// horizontal slider. A band under the groove can show a region of the song
// (the loop), in fractions of its length.
class SeekSlider : public QSlider {
    Q_OBJECT

public:
    explicit SeekSlider(QWidget* parent = nullptr);

    // The region shown, from and to in 0..1; none hides the band.
    void setBand(const std::optional<std::pair<double, double>>& band);
    const std::optional<std::pair<double, double>>& band() const { return m_band; }

signals:
    // The handle was put at `position` by a press on the groove.
    void jumped(int position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The slider's value under the x coordinate `x` of the widget.
    int positionAt(int x) const;

    std::optional<std::pair<double, double>> m_band;
};
