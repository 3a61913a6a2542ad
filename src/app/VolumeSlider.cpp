#include "app/VolumeSlider.h"

#include <QPainter>
#include <QStyleOptionSlider>

VolumeSlider::VolumeSlider(QWidget* parent) : QSlider(Qt::Vertical, parent)
{
    setInvertedAppearance(true);
    setInvertedControls(true);
}

void VolumeSlider::paintEvent(QPaintEvent*)
{
    // Turned over twice: the style fills from the other end, and the
    // mirrored position puts the handle back where it is.
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (tickPosition() != NoTicks) {
        option.subControls |= QStyle::SC_SliderTickmarks;
    }
    option.upsideDown = !option.upsideDown;
    option.sliderPosition = option.maximum - option.sliderPosition + option.minimum;
    option.sliderValue = option.maximum - option.sliderValue + option.minimum;
    QPainter painter(this);
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}
