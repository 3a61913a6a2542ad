#include "GuiTestSupport.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

namespace {

struct FixedModeForm {
    QDialog* dialog = nullptr;
    QSlider* frequency = nullptr;
    QSlider* power = nullptr;

    bool complete() const { return dialog && frequency && power; }
};

FixedModeForm openFixedMode(Panel& panel)
{
    QTest::mouseClick(panel.find<QPushButton>("fixedModeButton"), Qt::LeftButton);
    FixedModeForm form;
    form.dialog = panel.find<QDialog>("fixedModeDialog");
    if (form.dialog != nullptr) {
        form.frequency = form.dialog->findChild<QSlider*>("frequencySlider");
        form.power = form.dialog->findChild<QSlider*>("powerSlider");
    }
    return form;
}

QStringList texts(const QSignalSpy& spy)
{
    QStringList list;
    for (const QList<QVariant>& arguments : spy) {
        list << arguments.at(0).toString();
    }
    return list;
}

}  // namespace

class FixedModeDialogTest : public QObject {
    Q_OBJECT

private slots:
    void openingStartsTheToneAtTheMainVolume_data();
    void openingStartsTheToneAtTheMainVolume();
    void closingSilencesOnceAndLeavesThePortOpen_data();
    void closingSilencesOnceAndLeavesThePortOpen();
    void escapeDoesNotClose();
    void reopeningStartsAgainOnTheOpenPort();
    void theCoilChosenSoundsAndTheOneBeforeIsSilenced();
    void figuresShowWhatIsSentAndTheToneIsTypedOrSoundedAgain();
};

void FixedModeDialogTest::openingStartsTheToneAtTheMainVolume_data()
{
    QTest::addColumn<int>("controller");
    QTest::addColumn<int>("volumePosition");
    QTest::addColumn<int>("power");
    QTest::newRow("controller at index 0, initial volume") << 0 << 96 << 31;
    QTest::newRow("controller at index 4, volume at the top") << 4 << 0 << 127;
    QTest::newRow("controller at index 2, volume halfway") << 2 << 64 << 63;
}

void FixedModeDialogTest::openingStartsTheToneAtTheMainVolume()
{
    QFETCH(int, controller);
    QFETCH(int, volumePosition);
    QFETCH(int, power);
    Panel panel(devicesWithController(5, controller));
    panel.find<QSlider>("volumeSlider")->setValue(volumePosition);
    QSignalSpy statuses(panel.window->statusBar(), &QStatusBar::messageChanged);

    const FixedModeForm form = openFixedMode(panel);
    QVERIFY(form.complete());
    QCOMPARE(form.dialog->windowTitle(), QString("Fixed Mode"));
    QVERIFY(form.dialog->isModal());
    QCOMPARE(form.frequency->minimum(), 40);
    QCOMPARE(form.frequency->maximum(), 80);
    QCOMPARE(form.power->minimum(), 0);
    QCOMPARE(form.power->maximum(), 127);

    QTRY_COMPARE(form.power->value(), power);
    QCOMPARE(form.frequency->value(), 64);
    QTRY_COMPARE(panel.messages(controller), (Messages{noteOn(64, 127), controlChange(7, power)}));
    QTRY_COMPARE(texts(statuses), QStringList{"Entering fixed mode"});
    form.dialog->accept();
}

void FixedModeDialogTest::closingSilencesOnceAndLeavesThePortOpen_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("OK") << false;
    QTest::newRow("close box") << true;
}

void FixedModeDialogTest::closingSilencesOnceAndLeavesThePortOpen()
{
    QFETCH(bool, closeBox);
    Panel panel(devicesWithController(3, 2));
    QSignalSpy statuses(panel.window->statusBar(), &QStatusBar::messageChanged);
    const FixedModeForm form = openFixedMode(panel);
    QVERIFY(form.complete());
    QTRY_COMPARE(form.power->value(), 31);
    QTRY_COMPARE(panel.messages(2).size(), std::size_t(2));
    form.frequency->setValue(65);
    QTRY_COMPARE(panel.messages(2).size(), std::size_t(4));
    form.power->setValue(0);
    QTRY_COMPARE(panel.messages(2).size(), std::size_t(5));

    if (closeBox) {
        QVERIFY(form.dialog->close());
    } else {
        QTest::mouseClick(form.dialog->findChild<QPushButton*>("okButton"), Qt::LeftButton);
    }
    // The dialog has joined its thread: everything is sent by now.
    QCOMPARE(panel.messages(2), (Messages{noteOn(64, 127), controlChange(7, 31), noteOn(64, 0), noteOn(65, 127),
                                          controlChange(7, 0), kAllSoundOff, noteOn(65, 0), kAllNotesOff}));
    QVERIFY(panel.service->isDeviceOpen(2));
    QTRY_VERIFY(panel.find<QDialog>("fixedModeDialog") == nullptr);
    QTRY_COMPARE(texts(statuses), (QStringList{"Entering fixed mode", "Frequency: 349 Hz Duty Cycle: 1.6",
                                               "Frequency: 349 Hz Duty Cycle: 0.0", "Exited Fixed Mode"}));
    QCOMPARE(countOf(panel.messages(2), kAllSoundOff), 1);
}

void FixedModeDialogTest::escapeDoesNotClose()
{
    Panel panel(devicesWithController(1, 0));
    const FixedModeForm form = openFixedMode(panel);
    QVERIFY(form.complete());
    QTRY_COMPARE(panel.messages(0).size(), std::size_t(2));
    QTest::keyClick(form.dialog, Qt::Key_Escape);
    QVERIFY(form.dialog->isVisible());
    QCOMPARE(countOf(panel.messages(0), kAllSoundOff), 0);
    form.dialog->accept();
    QCOMPARE(countOf(panel.messages(0), kAllSoundOff), 1);
}

void FixedModeDialogTest::reopeningStartsAgainOnTheOpenPort()
{
    Panel panel(devicesWithController(2, 1));
    panel.service->clear();  // forget the opens of the name queries at start-up
    for (int round = 0; round < 2; ++round) {
        const FixedModeForm form = openFixedMode(panel);
        QVERIFY(form.complete());
        QTRY_COMPARE(panel.messages(1).size(), std::size_t(5 * round + 2));
        form.dialog->accept();
        QTRY_VERIFY(panel.find<QDialog>("fixedModeDialog") == nullptr);
    }
    QCOMPARE(panel.messages(1), (Messages{noteOn(64, 127), controlChange(7, 31), kAllSoundOff, noteOn(64, 0), kAllNotesOff,
                                          noteOn(64, 127), controlChange(7, 31), kAllSoundOff, noteOn(64, 0), kAllNotesOff}));
    int opens = 0;
    for (const auto& record : panel.service->records()) {
        opens += record.kind == VirtualMidiService::Record::Kind::Open ? 1 : 0;
    }
    QCOMPARE(opens, 1);
    QVERIFY(panel.service->isDeviceOpen(1));
}

void FixedModeDialogTest::theCoilChosenSoundsAndTheOneBeforeIsSilenced()
{
    // No controller; Bass's own limit keeps key 64 from sounding there.
    Panel panel({"Synth 0", "Lead Coil", "Bass Coil"}, std::nullopt,
                "[coil Lead]\ndevice = Lead Coil\nchannels = 0\n[coil Bass]\ndevice = Bass Coil\nchannels = 1\nhighest_key = 60\n");
    const FixedModeForm form = openFixedMode(panel);
    auto* coils = form.dialog->findChild<QComboBox*>("coilBox");
    QVERIFY(coils != nullptr && coils->count() == 2 && coils->currentText() == "Lead");
    QCOMPARE(form.dialog->findChild<QLabel*>("coilLabel")->buddy(), coils);
    QTRY_COMPARE(panel.messages(1), (Messages{noteOn(64, 127), controlChange(7, 31)}));
    coils->setCurrentIndex(1);
    QCOMPARE(panel.messages(1), (Messages{noteOn(64, 127), controlChange(7, 31), kAllSoundOff, noteOn(64, 0), kAllNotesOff}));
    QTRY_COMPARE(panel.messages(2), (Messages{controlChange(7, 31)}));
    QVERIFY(!panel.service->isDeviceOpen(1));  // open, it would keep the devices from being counted again
    form.dialog->accept();
    QCOMPARE(panel.messages(2), (Messages{controlChange(7, 31), kAllSoundOff, kAllNotesOff}));
    QVERIFY(panel.messages(0).empty());
}

// Under a duty limit of 3 % key 64 goes at velocity 116 and key 69 (440 Hz)
// at 87: 0.03 x 2272.7 us x 128 / 100 us = 87.3. The maximum note length
// cuts the tone after 1.5 s.
void FixedModeDialogTest::figuresShowWhatIsSentAndTheToneIsTypedOrSoundedAgain()
{
    Panel panel(devicesWithController(2, 1), "duty_limit_percent = 3\nmax_note_ms = 1500\n");
    const FixedModeForm form = openFixedMode(panel);
    QVERIFY(form.complete());
    auto* frequency = form.dialog->findChild<QLineEdit*>("frequencyEdit");
    auto* power = form.dialog->findChild<QLabel*>("powerValue");
    QCOMPARE(frequency->text(), QString("330 Hz E4"));
    QTRY_COMPARE(power->text(), QString("31, velocity 116"));
    QTRY_COMPARE(power->text(), QString("31, silent"));
    QTest::keyClick(form.dialog, Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(countOf(panel.messages(1), noteOn(64, 116)), 2);
    frequency->setText("440");
    QTest::keyClick(frequency, Qt::Key_Return);
    QVERIFY(form.dialog->isVisible());
    QCOMPARE(std::pair(form.frequency->value(), frequency->text()), std::pair(69, QString("440 Hz A4")));
    QTRY_COMPARE(panel.messages(1).back(), noteOn(69, 87));
    form.dialog->accept();
}

QTEST_MAIN(FixedModeDialogTest)
#include "FixedModeDialogTest.moc"
