#include "app/Startup.h"

#include "app/AppContext.h"
#include "app/MainWindow.h"
#include "midiout/MidiOutPort.h"
#include "playback/TerminationSignals.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

namespace {

// Whether a message box can be shown at all: not on the offscreen or minimal
// platforms (nobody would see it, and nobody could close it), and on X11 or
// Wayland systems only with a display to connect to.
bool displayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal")) {
        return false;
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

void showNoDevicesBox(int& argc, char** argv)
{
    if (!displayAvailable()) {
        return;
    }
    QApplication application(argc, argv);
    QMessageBox::critical(nullptr, "Quillarc Control Panel", "Error: no MIDI output devices");
}

}  // namespace

int runControlPanel(int& argc, char** argv, std::shared_ptr<MidiService> service)
{
    if (service) {
        MidiOutPort::installService(std::move(service));
    }
    if (MidiOutPort::service()->deviceCount() <= 0) {
        showNoDevicesBox(argc, argv);
    }
    // Ctrl-C, SIGTERM, SIGHUP and SIGQUIT close the panel like its Exit
    // button, so playback and fixed mode stop and the last output object
    // resets the controller; taken before Qt starts any thread.
    TerminationSignals stopSignals;
    // The first output object: without a device it prints the error and
    // ends the process with exit code 1.
    AppContext context;
    QApplication application(argc, argv);
    QSocketNotifier notifier(stopSignals.fd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &application, [&stopSignals] {
        stopSignals.take();
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    return execMainWindow(context);
}

int execMainWindow(AppContext& context)
{
    MainWindow window(context);
    window.show();
    return QApplication::exec();
}
