#include "GuiTestSupport.h"

#include "app/Startup.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void withoutDevicesTheProgramEndsBeforeAnyWindow_data();
    void withoutDevicesTheProgramEndsBeforeAnyWindow();
    void closingTheWindowEndsTheRunWithCodeZero();
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

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
