#include "app/PanicKey.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

PanicKey::PanicKey(QWidget* window, std::function<void()> panic) : QObject(window), m_window(window), m_panic(std::move(panic))
{
    QApplication::instance()->installEventFilter(this);
}

bool PanicKey::eventFilter(QObject* watched, QEvent* event)
{
    // A key is offered as a shortcut override to the widget with the focus
    // before any shortcut may have it.
    if (event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier || widget == nullptr ||
        widget->window() != m_window || QApplication::activePopupWidget() != nullptr) {
        return false;
    }
    // Taken as the widget's own: no shortcut fires it a second time.
    key->accept();
    if (!key->isAutoRepeat()) {
        m_panic();
    }
    return true;
}
