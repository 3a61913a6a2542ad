#pragma once

#include <QEvent>
#include <QMetaObject>
#include <QObject>

#include <cstdio>
#include <string>
#include <utility>

// Prints a mark once the watched window has been painted for the first time:
// the line is written from the event loop after the paint, so it follows the
// window's first complete drawing.
class FirstPaintMark : public QObject {
public:
    explicit FirstPaintMark(std::string mark) : m_mark(std::move(mark)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    std::fputs((m_mark + "\n").c_str(), stdout);
                    std::fflush(stdout);
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::string m_mark;
    bool m_seen = false;
};
