// The least a Qt Widgets window costs to start here: an application, a main
// window holding one label, shown; it prints "shown" once the window has
// first been drawn, as the panel prints its mark, and ends with status 0 on
// SIGTERM. bench/startup.sh times it beside the panel as the floor that no
// Qt program on this machine starts under.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::fputs("shown\n", stdout);
                    std::fflush(stdout);
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

}  // namespace

int main(int argc, char** argv)
{
    std::signal(SIGTERM, [](int) { _exit(0); });
    QApplication application(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel("Quillarc"));
    window.resize(640, 480);
    FirstPaint mark;
    window.installEventFilter(&mark);
    window.show();
    return QApplication::exec();
}
