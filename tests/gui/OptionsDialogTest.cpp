#include "GuiTestSupport.h"

#include <QAction>
#include "coilmodel/CoilLimitsFile.h"
#include "fixed/OptionsDialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QList>
#include <QSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <filesystem>
#include <fstream>

namespace {

struct OptionsForm {
    QDialog* dialog = nullptr;
    QLineEdit* channel = nullptr;
    QCheckBox* shift = nullptr;
    QLineEdit* lowerLimit = nullptr;
    QCheckBox* curve = nullptr;

    bool complete() const { return dialog && channel && shift && lowerLimit && curve; }
    QPushButton* button(const char* name) const { return dialog->findChild<QPushButton*>(name); }
};

OptionsForm openOptions(Panel& panel)
{
    panel.find<QAction>("optionsAction")->trigger();
    OptionsForm form;
    form.dialog = panel.find<QDialog>("optionsDialog");
    if (form.dialog != nullptr) {
        form.channel = form.dialog->findChild<QLineEdit*>("channelEdit");
        form.shift = form.dialog->findChild<QCheckBox*>("shiftLowNotesBox");
        form.lowerLimit = form.dialog->findChild<QLineEdit*>("lowerLimitEdit");
        form.curve = form.dialog->findChild<QCheckBox*>("customCurveBox");
    }
    return form;
}

// The limits in the group's order, by the names of their boxes and fields.
constexpr const char* kLimitNames[] = {"dutyLimit", "maxNote", "lowestKey", "highestKey"};

// "on 7.13" or "off 2000": what a limit's box and field show.
QString shownLimit(QDialog* dialog, const QString& name)
{
    auto* box = dialog->findChild<QCheckBox*>(name + "Box");
    auto* field = dialog->findChild<QAbstractSpinBox*>(name + "Spin");
    return (box->isChecked() ? "on " : "off ") + field->text() + (field->isEnabled() == box->isChecked() ? "" : " (enabled?)");
}

// Switches a limit off (`value` below 0) or on at `value`.
void typeLimit(QDialog* dialog, const QString& name, double value)
{
    dialog->findChild<QCheckBox*>(name + "Box")->setChecked(value >= 0);
    if (auto* duty = dialog->findChild<QDoubleSpinBox*>(name + "Spin"); duty && value >= 0) {
        duty->setValue(value);
    } else if (value >= 0) {
        dialog->findChild<QSpinBox*>(name + "Spin")->setValue(static_cast<int>(value));
    }
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

Q_DECLARE_METATYPE(CoilLimits)

class OptionsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void opensWithTheDefaults();
    void okStoresWhatWasTyped_data();
    void okStoresWhatWasTyped();
    void leavingWithoutOkStoresNothing_data();
    void leavingWithoutOkStoresNothing();
    void enterOnACheckBoxIsOk();
    void enterOnAFocusedButtonPressesThatButton_data();
    void enterOnAFocusedButtonPressesThatButton();
    void loadedCurveStaysAfterCancel();
    void curveThatCannotBeReadIsReportedAndChangesNothing();
    void chosenChannelIsTheOnePlayed();
    void channelLineShowsWholeAtTheDefaultSize();
    void okAppliesPublishesAndWritesTheLimits_data();
    void okAppliesPublishesAndWritesTheLimits();
    void optionsShowTheFileAsItIsNowAndOkKeepsTheUsersLines();
    void unreadableLimitsFileRefusesPlayAndFixedModeUntilCorrected();

private:
    QTemporaryDir m_dir;
};

void OptionsDialogTest::opensWithTheDefaults()
{
    Panel panel(devicesWithController(1, 0));
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    QCOMPARE(form.dialog->windowTitle(), QString("Options"));
    QVERIFY(form.dialog->isModal());
    QCOMPARE(form.channel->text(), QString("0"));
    QCOMPARE(form.lowerLimit->text(), QString("50"));
    QVERIFY(!form.shift->isChecked());
    QVERIFY(!form.curve->isChecked());
    QCOMPARE(form.shift->text(), QString("Shift low notes up"));
    QCOMPARE(form.curve->text(), QString("Custom velocity curve"));
    QCOMPARE(form.button("loadFileButton")->text(), QString("Load file..."));
    QVERIFY(form.button("okButton")->isDefault());
    // Escape is Cancel: what was typed is not stored.
    form.channel->setText("3");
    QTest::keyClick(form.dialog, Qt::Key_Escape);
    QTRY_VERIFY(panel.find<QDialog>("optionsDialog") == nullptr);
    QCOMPARE(panel.context->options.playChannel, 0);
}

void OptionsDialogTest::okStoresWhatWasTyped_data()
{
    QTest::addColumn<QString>("channelText");
    QTest::addColumn<QString>("limitText");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<bool>("curve");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("limit");
    QTest::newRow("numbers and boxes") << "3" << "40" << true << true << 3 << 40;
    QTest::newRow("out of range taken as typed") << "200" << "300" << false << true << 200 << 300;
    QTest::newRow("spaces around") << " 7 " << "12 " << true << false << 7 << 12;
    QTest::newRow("not numbers") << "abc" << "12x" << false << false << 0 << 0;
    QTest::newRow("empty and negative") << "" << "-5" << false << false << 0 << 0;
}

void OptionsDialogTest::okStoresWhatWasTyped()
{
    QFETCH(QString, channelText);
    QFETCH(QString, limitText);
    QFETCH(bool, shift);
    QFETCH(bool, curve);
    QFETCH(int, channel);
    QFETCH(int, limit);
    Panel panel(devicesWithController(1, 0));
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    form.channel->setText(channelText);
    form.lowerLimit->setText(limitText);
    form.shift->setChecked(shift);
    form.curve->setChecked(curve);
    QTest::mouseClick(form.button("okButton"), Qt::LeftButton);

    const PlaybackOptions& stored = panel.context->options;
    QCOMPARE(stored.playChannel, channel);
    QCOMPARE(stored.lowerLimit, limit);
    QCOMPARE(stored.shiftLowNotes, shift ? 1 : 0);
    QCOMPARE(stored.customCurve, curve ? 1 : 0);
    QCOMPARE(panel.state().options()->playChannel, channel);
    QTRY_VERIFY(panel.find<QDialog>("optionsDialog") == nullptr);
}

void OptionsDialogTest::leavingWithoutOkStoresNothing_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close box") << true;
}

void OptionsDialogTest::leavingWithoutOkStoresNothing()
{
    QFETCH(bool, closeBox);
    Panel panel(devicesWithController(1, 0));
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    form.channel->setText("9");
    form.lowerLimit->setText("70");
    form.shift->setChecked(true);
    form.curve->setChecked(true);
    if (closeBox) {
        QVERIFY(form.dialog->close());
    } else {
        QTest::mouseClick(form.button("cancelButton"), Qt::LeftButton);
    }
    QTRY_VERIFY(panel.find<QDialog>("optionsDialog") == nullptr);
    const PlaybackOptions& stored = panel.context->options;
    QCOMPARE(stored.playChannel, 0);
    QCOMPARE(stored.lowerLimit, 50);
    QCOMPARE(stored.shiftLowNotes, 0);
    QCOMPARE(stored.customCurve, 0);
}

void OptionsDialogTest::enterOnACheckBoxIsOk()
{
    Panel panel(devicesWithController(1, 0));
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    form.shift->setFocus();
    QTest::keyClick(form.shift, Qt::Key_Space);
    QVERIFY(form.shift->isChecked());
    QTest::keyClick(form.shift, Qt::Key_Return);
    QCOMPARE(panel.context->options.shiftLowNotes, 1);
    QTRY_VERIFY(panel.find<QDialog>("optionsDialog") == nullptr);
}

void OptionsDialogTest::enterOnAFocusedButtonPressesThatButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::newRow("Cancel, Return") << "cancelButton" << int(Qt::Key_Return);
    QTest::newRow("Cancel, keypad Enter") << "cancelButton" << int(Qt::Key_Enter);
    QTest::newRow("Load file..., Return") << "loadFileButton" << int(Qt::Key_Return);
}

void OptionsDialogTest::enterOnAFocusedButtonPressesThatButton()
{
    QFETCH(QString, button);
    QFETCH(int, key);
    Panel panel(devicesWithController(1, 0));
    const QString curveFile = writeText(m_dir, "curve.txt", "0 10\n");
    panel.answerDialogs({}, {}, curveFile);
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    form.channel->setText("9");
    QPushButton* focused = form.button(button.toLatin1().constData());
    QVERIFY(focused);
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key(key));

    const PlaybackOptions& stored = panel.context->options;
    QCOMPARE(stored.playChannel, 0);
    if (button == "cancelButton") {
        QTRY_VERIFY(panel.find<QDialog>("optionsDialog") == nullptr);
        QCOMPARE(stored.curveLoaded, 0);
    } else {
        QVERIFY(form.dialog->isVisible());
        QCOMPARE(stored.curveLoaded, 1);
        QCOMPARE(stored.curveFileName, curveFile.toStdString());
        form.button("cancelButton")->click();
    }
}

void OptionsDialogTest::loadedCurveStaysAfterCancel()
{
    Panel panel(devicesWithController(1, 0));
    const QString curveFile = writeText(m_dir, "curve.txt", "0 10\n20\n");
    panel.answerDialogs({}, {}, curveFile);
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    QTest::mouseClick(form.button("loadFileButton"), Qt::LeftButton);
    QVERIFY(form.dialog->isVisible());
    form.button("cancelButton")->click();

    const PlaybackOptions& stored = panel.context->options;
    QCOMPARE(stored.curveLoaded, 1);
    QCOMPARE(stored.customCurve, 0);
    QCOMPARE(stored.curveFileName, curveFile.toStdString());
    QCOMPARE(int(stored.velocityCurve[1]), 10);
    QCOMPARE(int(stored.velocityCurve[2]), 20);
    QCOMPARE(int(stored.velocityCurve[3]), 3);
    QCOMPARE(panel.state().options()->curveLoaded, 1);
}

void OptionsDialogTest::curveThatCannotBeReadIsReportedAndChangesNothing()
{
    Panel panel(devicesWithController(1, 0));
    panel.answerDialogs({}, {}, m_dir.filePath("missing.txt"));
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    QTest::mouseClick(form.button("loadFileButton"), Qt::LeftButton);
    auto* box = form.dialog->findChild<QMessageBox*>("curveErrorBox");
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QVERIFY(!box->text().isEmpty());
    QCOMPARE(panel.context->options.curveLoaded, 0);
    QVERIFY(panel.context->options.curveFileName.empty());
    box->accept();
    form.button("cancelButton")->click();
}

void OptionsDialogTest::chosenChannelIsTheOnePlayed()
{
    Panel panel(devicesWithController(2, 1));
    panel.answerDialogs({}, writeFile(m_dir, "channel3.mid", steadySong(2, 3)));
    panel.find<QAction>("addAction")->trigger();
    panel.find<QPushButton>("playButton")->click();
    QTRY_COMPARE(panel.status(), QString("No notes found on channel 0!"));
    QTRY_VERIFY(!panel.window->hasWorker());

    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    form.channel->setText("3");
    form.button("okButton")->click();
    panel.find<QPushButton>("playButton")->click();
    QTRY_VERIFY(countOf(panel.messages(1), noteOn(50, 100)) == 1);
    panel.find<QPushButton>("stopButton")->click();
    QTRY_VERIFY(!panel.window->hasWorker());
}

// The line usually arrives once the dialog is open: it is read off the GUI thread.
void OptionsDialogTest::channelLineShowsWholeAtTheDefaultSize()
{
    PlaybackOptions options;
    OptionsDialog dialog(options, [](QWidget*) { return QString(); });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.showChannelNotes("Notes in this file: channel 0: 803, channel 1: 1840, channel 2: 2877, channel 3: 3914, channel 4: "
                            "4951, channel 5: 5988, channel 6: 7025, channel 7: 8062, channel 8: 9099, channel 9: 10136");
    auto* line = dialog.findChild<QLabel*>("channelNotesLine");
    QVERIFY(line != nullptr && line->wordWrap() && line->text().endsWith("channel 9: 10136"));
    QTRY_VERIFY2(line->height() >= line->heightForWidth(line->width()), "every wrapped line is inside the label");
    QVERIFY(dialog.rect().contains(line->geometry()));
}

void OptionsDialogTest::okAppliesPublishesAndWritesTheLimits_data()
{
    QTest::addColumn<QList<double>>("typed");  // per limit; below 0 is off
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("folderIsAFile");
    QTest::addColumn<CoilLimits>("applied");
    const CoilLimits file{7.125, std::nullopt, 36, std::nullopt};
    QTest::newRow("duty as shown keeps the file's value") << QList{7.13, 1500., -1., -1.} << "okButton" << false
                                                          << CoilLimits{7.125, 1500, std::nullopt, std::nullopt};
    QTest::newRow("all on") << QList{4.5, 2000., 40., 90.} << "okButton" << false << CoilLimits{4.5, 2000, 40, 90};
    QTest::newRow("all off") << QList{-1., -1., -1., -1.} << "okButton" << false << CoilLimits{};
    QTest::newRow("lowest equal to highest") << QList{0.25, -1., 60., 60.} << "okButton" << false
                                             << CoilLimits{0.25, std::nullopt, 60, 60};
    QTest::newRow("lowest above highest is refused") << QList{4.5, -1., 61., 60.} << "okButton" << false << file;
    QTest::newRow("Cancel") << QList{4.5, 2000., 40., 90.} << "cancelButton" << false << file;
    QTest::newRow("write failure is said") << QList{3.75, -1., -1., 100.} << "okButton" << true
                                           << CoilLimits{3.75, std::nullopt, std::nullopt, 100};
}

void OptionsDialogTest::okAppliesPublishesAndWritesTheLimits()
{
    QFETCH(QList<double>, typed);
    QFETCH(QString, button);
    QFETCH(bool, folderIsAFile);
    QFETCH(CoilLimits, applied);
    const std::string file = "duty_limit_percent = 7.125\nlowest_key = 36 # the lowest string\n";
    Panel panel(devicesWithController(1, 0), folderIsAFile ? std::nullopt : std::optional(file));
    if (folderIsAFile) {
        std::filesystem::create_directories(panel.config.dir());
        std::ofstream(panel.config.dir() + "/quillarc") << "not a folder\n";
    }
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    QCOMPARE(form.dialog->findChild<QGroupBox*>("coilLimitsGroup")->title(), QString("Coil limits"));
    QStringList shown;
    for (const char* name : kLimitNames) {
        shown << shownLimit(form.dialog, name);
        typeLimit(form.dialog, name, typed[static_cast<int>(shown.size()) - 1]);
    }
    const QStringList fromFile = folderIsAFile ? QStringList({"off 8.00", "off 2000", "off 0", "off 127"})
                                               : QStringList({"on 7.13", "off 2000", "on 36", "off 127"});
    QCOMPARE(shown, fromFile);
    form.button(button.toLatin1().constData())->click();

    const bool refused = typed[2] > typed[3] && typed[3] >= 0;
    auto* errorLine = form.dialog->findChild<QLabel*>("limitsErrorLine");
    QCOMPARE(errorLine->isVisibleTo(form.dialog), refused);
    QCOMPARE(panel.context->options.coilLimits, applied);
    QCOMPARE(panel.state().options()->coilLimits, applied);
    if (refused || button == "cancelButton") {
        QCOMPARE(errorLine->text(), QString(refused ? "The lowest key is above the highest key." : ""));
        QCOMPARE(readAll(panel.config.limitsPath()), file);
        return;
    }
    if (folderIsAFile) {
        QCOMPARE(panel.status().toStdString(), "Error: cannot write coil limits file " + panel.config.limitsPath());
        return;
    }
    CoilLimits reread;
    std::string error;
    QVERIFY(readCoilLimits(panel.config.limitsPath(), reread, error));
    QCOMPARE(reread, applied);
}

void OptionsDialogTest::optionsShowTheFileAsItIsNowAndOkKeepsTheUsersLines()
{
    Panel panel(devicesWithController(1, 0), "duty_limit_percent = 8 # the bridge\n");
    panel.config.writeLimits("# my coil\nduty_limit_percent = 2.5 # the bridge\n");  // by hand, the panel running
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    QStringList shown;
    for (const char* name : kLimitNames) {
        shown << shownLimit(form.dialog, name);
    }
    QCOMPARE(shown, QStringList({"on 2.50", "off 2000", "off 0", "off 127"}));
    typeLimit(form.dialog, "maxNote", 1500);
    form.button("okButton")->click();
    QCOMPARE(readAll(panel.config.limitsPath()), "# my coil\nduty_limit_percent = 2.5 # the bridge\nmax_note_ms = 1500\n");
}

void OptionsDialogTest::unreadableLimitsFileRefusesPlayAndFixedModeUntilCorrected()
{
    const std::string bad = "# my coil\nduty = 4\n";
    Panel panel(devicesWithController(1, 0), bad);
    const QString refusal = QString::fromStdString("Error: " + panel.config.limitsPath() + ":2: unknown key 'duty'");
    panel.answerDialogs({}, writeFile(m_dir, "song.mid", steadySong(2)));
    panel.find<QAction>("addAction")->trigger();
    for (const char* button : {"playButton", "fixedModeButton"}) {
        panel.window->statusBar()->clearMessage();
        panel.find<QPushButton>(button)->click();
        QCOMPARE(panel.status(), refusal);
    }
    QVERIFY(panel.find<QDialog>("fixedModeDialog") == nullptr);
    QVERIFY(!panel.window->hasWorker());
    QCOMPARE(panel.messages(0), Messages{});

    // Options says why and writes nothing over the file.
    const OptionsForm form = openOptions(panel);
    QVERIFY(form.complete());
    QCOMPARE(form.dialog->findChild<QLabel*>("limitsErrorLine")->text(), refusal);
    form.button("okButton")->click();
    QCOMPARE(readAll(panel.config.limitsPath()), bad);
    QCOMPARE(panel.status(), refusal + " (the file is kept as it is)");

    // Corrected by hand: the next Play plays, under what it says.
    panel.config.writeLimits("# my coil\nlowest_key = 51\n");
    panel.find<QPushButton>("playButton")->click();
    QTRY_VERIFY(countOf(panel.messages(0), noteOn(51, 100)) == 1);
    QCOMPARE(countOf(panel.messages(0), noteOn(50, 100)), 0);
    panel.find<QPushButton>("stopButton")->click();
    QTRY_VERIFY(!panel.window->hasWorker());
}

QTEST_MAIN(OptionsDialogTest)
#include "OptionsDialogTest.moc"
