#include "GuiTestSupport.h"

#include "app/Startup.h"

#include <QApplication>
#include <QListWidget>
#include <QProcess>
#include <QStatusBar>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace {

// In-memory devices whose count waits until the test lets it go (or, on a
// context that counts before it returns, until a deadline, so that such a
// context fails the test instead of hanging it).
class HeldCount : public VirtualMidiService {
public:
    using VirtualMidiService::VirtualMidiService;

    int deviceCount() override
    {
        {
            std::unique_lock lock(m_mutex);
            m_countedHeld = !m_released.wait_for(lock, std::chrono::seconds(10), [this] { return m_free; });
        }
        return VirtualMidiService::deviceCount();
    }
    void release()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_free = true;
        }
        m_released.notify_all();
    }
    bool countedHeld()
    {
        const std::lock_guard lock(m_mutex);
        return m_countedHeld;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_free = false;
    bool m_countedHeld = false;
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
    if (!rig.isEmpty()) {
        std::filesystem::create_directories(rigPath.parent_path());
        std::ofstream(rigPath) << rig.toStdString();
    }
    auto service = std::make_shared<HeldCount>(devicesWithController(3, controller));
    QVERIFY(MidiOutPort::installService(service));
    QString shown;
    int port = 0;
    {
        AppContext context;
        service->release();
        const MainWindow window(context);
        shown = window.statusBar()->currentMessage();
        port = context.state.controllerPort.load();
    }
    std::filesystem::remove(rigPath);
    // The context was built while the count was still held.
    QVERIFY(!service->countedHeld());
    QCOMPARE(shown, status);
    QCOMPARE(port, controller);
}

void StartupTest::aLookUpThatFoundNoDeviceShowsNoWindow()
{
    QVERIFY(MidiOutPort::installService(std::make_shared<VirtualMidiService>(std::vector<std::string>{})));
    AppContext context;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == "mainWindow" && window->isVisible()) {
                window->close();
            }
        }
    });
    closer.start(10);
    QCOMPARE(execMainWindow(context), 1);
}

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"

