#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Escape, the panic, wherever the focus is in `window`: in the playlist, on a
// slider, or on the menu bar that F10 and an Escape out of its menu leave
// holding the keyboard (which would take the next Escape for itself). The
// key is taken before the widget with the focus can claim it; that widget
// still gets it afterwards, so a menu bar lets the keyboard go as well. An
// open menu, and any other window (a dialog's Escape is its Cancel), keep
// Escape for themselves. Held down, it calls `panic` once.
class PanicKey : public QObject {
public:
    // Watches the application's events from now on; `window` must outlive it.
    PanicKey(QWidget* window, std::function<void()> panic);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    std::function<void()> m_panic;
};
