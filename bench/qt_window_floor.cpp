// The least a Qt Widgets window costs to start here: an application, a main
// window holding one label, shown; it prints "shown" once the window has
// first been drawn, by the panel's own mark, and ends with status 0 on
// SIGTERM. bench/startup.sh times it beside the panel as the floor that no
// Qt program on this machine starts under.
#include "app/FirstPaintMark.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <csignal>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::signal(SIGTERM, [](int) { _exit(0); });
    QApplication application(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel("Quillarc"));
    window.resize(640, 480);
    FirstPaintMark mark("shown");
    window.installEventFilter(&mark);
    window.show();
    return QApplication::exec();
}
