#include "app/SeekSlider.h"

#include <QMouseEvent>
#include <QPainter>
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

void SeekSlider::setBand(const std::optional<std::pair<double, double>>& band)
{
    if (band != m_band) {
        m_band = band;
        update();
    }
}

void SeekSlider::paintEvent(QPaintEvent* event)
{
    if (m_band) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        // Along the handle centre's travel, so the band ends where the handle
        // stands at those positions; the full height, so the groove drawn
        // over it leaves it showing on both sides.
        const double span = groove.width() - handle.width();
        const double left = groove.left() + handle.width() / 2.0;
        const QRectF band(left + m_band->first * span, rect().top() + 2.0, (m_band->second - m_band->first) * span,
                          rect().height() - 4.0);
        QPainter painter(this);
        QColor colour = palette().color(QPalette::Highlight);
        colour.setAlpha(110);
        painter.fillRect(band, colour);
    }
    QSlider::paintEvent(event);
}
