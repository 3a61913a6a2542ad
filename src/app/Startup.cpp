#include "app/Startup.h"

#include "app/AppContext.h"
#include "app/FirstPaintMark.h"
#include "app/MainWindow.h"
#include "app/PanelSettings.h"
#include "midiout/MidiOutPort.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QMessageBox>
#ifdef _WIN32
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif
#include <QStringList>

#include <cstdio>

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

constexpr const char* kNoDevicesText = "Error: no MIDI output devices";

}  // namespace

int runControlPanel(int& argc, char** argv, std::shared_ptr<MidiService> service, const LaunchHooks& hooks)
{
    // Ctrl-C, SIGTERM, SIGHUP and SIGQUIT close the panel like its Exit
    // button, so playback
    // and fixed mode stop and the last output object resets the controller.
    // Taken before anything starts a thread: device discovery does (the
    // JACK and ALSA clients), and a thread started earlier would take the
    // signal with its default action and end the process on the spot.
    TerminationSignals stopSignals;
    if (service) {
        MidiOutPort::installService(std::move(service));
    }
    // The devices are looked up from here on, while the window is built.
    AppContext context;
    const bool display = displayAvailable();
    // Without a display there is no window to build meanwhile, and no window
    // system is to be set up only to end the run.
    if (!display && context.deviceCount() <= 0) {
        std::fprintf(stderr, "%s\n", kNoDevicesText);
        return 1;
    }
    QApplication application(argc, argv);
    // Desktop shells find the icon and the name through the installed entry.
    QGuiApplication::setDesktopFileName("quillarc");
    const auto closePanel = [&stopSignals] {
        stopSignals.take();
        QApplication::closeAllWindows();
        QApplication::quit();
    };
#ifdef _WIN32
    QWinEventNotifier notifier(stopSignals.event());
    QObject::connect(&notifier, &QWinEventNotifier::activated, &application, closePanel);
#else
    QSocketNotifier notifier(stopSignals.fd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &application, closePanel);
#endif
    return execMainWindow(context, hooks, display);
}

int execMainWindow(AppContext& context, const LaunchHooks& hooks, bool messageBoxes)
{
    MainWindow window(context);
    // Built over the look-up, which has ended now: the window shows only
    // with a device to play on.
    if (context.deviceCount() <= 0) {
        std::fprintf(stderr, "%s\n", kNoDevicesText);
        if (messageBoxes) {
            QMessageBox::critical(nullptr, "Quillarc Control Panel", kNoDevicesText);
        }
        return 1;
    }
    // What the panel was left with, but a start-up list in place of the
    // saved one; whatever list the panel closes with is saved.
    PanelSettings settings = readPanelSettings();
    if (!hooks.playlist.empty()) {
        settings.playlist.clear();
        for (const std::string& path : hooks.playlist) {
            settings.playlist.append(QString::fromStdString(path));
        }
        settings.selected = 0;
    }
    window.restorePanel(settings);
    FirstPaintMark shownMark(hooks.shownMark);
    if (!hooks.shownMark.empty()) {
        window.installEventFilter(&shownMark);
    }
    window.show();
    return QApplication::exec();
}
