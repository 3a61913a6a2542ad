#include "app/SeekSlider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

SeekSlider::SeekSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
}

int SeekSlider::positionAt(int x) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // The handle's centre travels from half a handle inside one end of the
    // groove to half a handle inside the other.
    const int span = groove.width() - handle.width();
    const int along = x - groove.left() - handle.width() / 2;
    return QStyle::sliderValueFromPosition(minimum(), maximum(), along, span, option.upsideDown);
}

void SeekSlider::mousePressEvent(QMouseEvent* event)
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && !handle.contains(at)) {
        const int position = positionAt(at.x());
        setValue(position);
        emit jumped(position);
        // The handle is under the pointer now: the press goes on as a drag.
    }
    QSlider::mousePressEvent(event);
}
