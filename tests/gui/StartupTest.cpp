#include "GuiTestSupport.h"

#include "app/Startup.h"

#include <QApplication>
#include <QListWidget>
#include <QProcess>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

namespace {

// In-memory devices whose count waits until released (up to 10 s: a context
// that counts before it returns fails the test instead of hanging it).
struct HeldCount : VirtualMidiService {
    using VirtualMidiService::VirtualMidiService;
    int deviceCount() override
    {
        countedHeld = countedHeld || released.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
        return VirtualMidiService::deviceCount();
    }
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool countedHeld = false;  // read once the look-up has been joined
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void withoutDevicesTheProgramEndsBeforeAnyWindow_data();
    void withoutDevicesTheProgramEndsBeforeAnyWindow();
    void closingTheWindowEndsTheRunWithCodeZero();
    void versionIsPrintedEvenWithoutAnyDevice();
    void playlistGivenAtLaunchIsInTheWindowAsIfDropped();
    void shownMarkIsPrintedOnceTheWindowIsDrawn();
    void theStatusTellsWhatTheLookUpFoundThoughItEndedAfterTheContextWasBuilt_data();
    void theStatusTellsWhatTheLookUpFoundThoughItEndedAfterTheContextWasBuilt();
    void aLookUpThatFoundNoDeviceShowsNoWindow();

private:
    // For the programs started here too: what the panel saves stays in it.
    ConfigFolder m_config;
};

void StartupTest::withoutDevicesTheProgramEndsBeforeAnyWindow_data()
{
    QTest::addColumn<QString>("platform");
    QTest::newRow("offscreen") << "offscreen";
    QTest::newRow("no display at all") << "";
}

void StartupTest::withoutDevicesTheProgramEndsBeforeAnyWindow()
{
    QFETCH(QString, platform);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLARC_VIRTUAL_DEVICES", "");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    if (!platform.isEmpty()) {
        environment.insert("QT_QPA_PLATFORM", platform);
    }
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QUILLARC_EXECUTABLE, {});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    // Nothing from a window system either: the run ends before one is set up.
    QCOMPARE(program.readAllStandardError(), QByteArray("Error: no MIDI output devices\n"));
}

void StartupTest::closingTheWindowEndsTheRunWithCodeZero()
{
    // Not at index 1, where the controller index starts out.
    auto service = std::make_shared<VirtualMidiService>(devicesWithController(3, 2));
    QVERIFY(MidiOutPort::installService(service));
    AppContext context;

    bool closed = false;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == "mainWindow" && window->isVisible()) {
                closed = window->close();
            }
        }
    });
    closer.start(10);
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, [] { QApplication::exit(2); });
    deadline.start(10000);

    QCOMPARE(execMainWindow(context), 0);
    QVERIFY(closed);
    QCOMPARE(context.state.controllerPort.load(), 2);
}

void StartupTest::versionIsPrintedEvenWithoutAnyDevice()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLARC_VIRTUAL_DEVICES", "");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QUILLARC_EXECUTABLE, {"--version"});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardOutput(), QByteArray("quillarc " QUILLARC_EXPECTED_VERSION "\n"));
    QCOMPARE(program.readAllStandardError(), QByteArray());
}

void StartupTest::playlistGivenAtLaunchIsInTheWindowAsIfDropped()
{
    auto service = std::make_shared<VirtualMidiService>(devicesWithController(1, 0));
    QVERIFY(MidiOutPort::installService(service));
    AppContext context;
    LaunchHooks hooks;
    hooks.playlist = {"/songs/first.mid", "/other/second.mid"};
    // The list given at launch takes the saved one's place.
    PanelSettings saved;
    saved.playlist = QStringList{"/saved/old.mid"};
    writePanelSettings(saved);

    QStringList lines;
    QString status;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == "mainWindow" && window->isVisible()) {
                const auto* box = window->findChild<QListWidget*>("playlist");
                for (int row = 0; row < box->count(); ++row) {
                    lines.append(box->item(row)->toolTip());
                }
                status = window->findChild<QStatusBar*>("statusBar")->currentMessage();
                window->close();
            }
        }
    });
    closer.start(10);
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, [] { QApplication::exit(2); });
    deadline.start(10000);

    QCOMPARE(execMainWindow(context, hooks), 0);
    QCOMPARE(lines, QStringList({"/songs/first.mid", "/other/second.mid"}));
    // Whether the controller was found is not hidden by the list.
    QCOMPARE(status, QString("Found Quillarc USB controller on port 0"));
}

void StartupTest::shownMarkIsPrintedOnceTheWindowIsDrawn()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLARC_VIRTUAL_DEVICES", kControllerName);
    environment.insert("QUILLARC_SHOWN_MARK", "window drawn");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QUILLARC_EXECUTABLE, {});
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += program.readAllStandardOutput()).contains('\n'), 30000);
    program.terminate();
    QVERIFY(program.waitForFinished(30000));
    out += program.readAllStandardOutput();
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(out, QByteArray("window drawn\n"));
}

void StartupTest::theStatusTellsWhatTheLookUpFoundThoughItEndedAfterTheContextWasBuilt_data()
{
    QTest::addColumn<int>("controller");
    QTest::addColumn<QString>("rig");
    QTest::addColumn<QString>("status");
    QTest::newRow("controller") << 2 << QString() << "Found Quillarc USB controller on port 2";
    QTest::newRow("no controller") << -1 << QString() << "Error: no compatible controller found";
    QTest::newRow("rig file") << 2 << "[coil Lead]\ndevice = Synth 1\nchannels = 0\n[coil Bass]\ndevice = Bass Coil\nchannels = 1\n"
                              << "Found 1 of 2 coils: coil Bass not found (Bass Coil)";
}

void StartupTest::theStatusTellsWhatTheLookUpFoundThoughItEndedAfterTheContextWasBuilt()
{
    QFETCH(int, controller);
    QFETCH(QString, rig);
    QFETCH(QString, status);
    const std::filesystem::path rigPath = m_config.dir() + "/quillarc/rig.conf";
    const auto removeRig = qScopeGuard([&rigPath] { std::filesystem::remove(rigPath); });
    std::filesystem::create_directories(rigPath.parent_path());
    if (!rig.isEmpty()) {
        std::ofstream(rigPath) << rig.toStdString();
    }
    auto service = std::make_shared<HeldCount>(devicesWithController(3, controller));
    QVERIFY(MidiOutPort::installService(service));
    AppContext context;
    service->release.set_value();
    const MainWindow window(context);
    QVERIFY(!service->countedHeld);
    QCOMPARE(window.statusBar()->currentMessage(), status);
    QCOMPARE(context.state.controllerPort.load(), controller);
}

void StartupTest::aLookUpThatFoundNoDeviceShowsNoWindow()
{
    QVERIFY(MidiOutPort::installService(std::make_shared<VirtualMidiService>(std::vector<std::string>{})));
    AppContext context;
    // A window shown all the same is closed, and the run ends with 0.
    QTimer closer;
    connect(&closer, &QTimer::timeout, [] { QApplication::closeAllWindows(); });
    closer.start(10);
    QCOMPARE(execMainWindow(context), 1);
}

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
