#include "GuiTestSupport.h"

#include "rig/RigFile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <fstream>
#include <functional>

namespace {

const char* const kLead = "# mine\n[coil Lead]\ndevice = Quillarc USB Controller\nchannels = 0\n";

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class CoilsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void theFieldsBecomeTheRigFileAndAFileThatWouldNotReadBackIsRefused();
    void channelBoxesNameTheSongsNotesAndTheOptionsLeadToTheCoils();
};

void CoilsDialogTest::theFieldsBecomeTheRigFileAndAFileThatWouldNotReadBackIsRefused()
{
    using Edit = std::function<void(QDialog*)>;
    const auto spin = [](QDialog* d, const char* name, int value) { d->findChild<QSpinBox*>(name)->setValue(value); };
    const struct {
        std::optional<std::string> rig;
        Edit edit;
        std::string written;  // the file after OK; the error line when it stays open
    } rows[] = {
        {std::nullopt, [](QDialog*) {},
         "[coil Coil]\ndevice = Quillarc USB Controller\nchannels = 3\nshift_low_notes = on\nlower_limit = 47\n"
         "highest_key = 90\n"},
        {kLead,
         [&](QDialog* d) {
             QTest::mouseClick(d->findChild<QPushButton*>("addCoilButton"), Qt::LeftButton);
             QTest::keyClicks(d->findChild<QLineEdit*>("coilNameEdit"), "Bass");
             d->findChild<QComboBox*>("deviceBox")->setEditText(" Bass Coil #2 ");
             d->findChild<QCheckBox*>("channelBox1")->setChecked(true);
             d->findChild<QCheckBox*>("channelBox10")->setChecked(true);
             spin(d, "voicesSpin", 1);
             d->findChild<QComboBox*>("keepBox")->setCurrentIndex(2);
             spin(d, "transposeSpin", -12);
             spin(d, "volumeShareSpin", 45);
             d->findChild<QDoubleSpinBox*>("coilDutySpin")->setValue(2.25);
             spin(d, "coilLowestKeySpin", 30);
             d->findChild<QCheckBox*>("coilShiftBox")->setChecked(false);
         },
         std::string(kLead) + "\n[coil Bass]\ndevice = Bass Coil #2\nchannels = 1, 10\nvoices = 1\nkeep = latest\n"
                              "transpose = -12\nshift_low_notes = off\nvolume_percent = 45\nduty_limit_percent = 2.25\n"
                              "lowest_key = 30\n"},
        {kLead,
         [&](QDialog* d) {
             QTest::mouseClick(d->findChild<QPushButton*>("addCoilButton"), Qt::LeftButton);
             QTest::keyClicks(d->findChild<QLineEdit*>("coilNameEdit"), "Lead");
             d->findChild<QCheckBox*>("channelBox4")->setChecked(true);
         },
         ":6: duplicate coil 'Lead' (the file is kept as it is)"},
        {kLead, [&](QDialog* d) { spin(d, "coilLowestKeySpin", 91); },
         ":5: lowest_key 91 is above highest_key 90 (with coil-limits.conf) (the file is kept as it is)"},
    };
    for (const auto& row : rows) {
        Panel panel(devicesWithController(2, 1), "highest_key = 90\n", row.rig);
        panel.context->options.playChannel = 3;
        panel.context->options.shiftLowNotes = 1;
        panel.context->options.lowerLimit = 47;
        panel.find<QAction>("coilsAction")->trigger();
        auto* dialog = panel.find<QDialog>("coilsDialog");
        QVERIFY(dialog != nullptr);
        row.edit(dialog);
        QTest::keyClick(dialog->findChild<QSpinBox*>("voicesSpin"), Qt::Key_Return);
        const std::string path = rigPath();
        if (row.written.front() == ':') {
            QCOMPARE(dialog->findChild<QLabel*>("rigErrorLine")->text(), QString::fromStdString("Error: " + path + row.written));
            QCOMPARE(fileText(path), *row.rig);
            QTest::keyClick(dialog, Qt::Key_Escape);
            QTRY_VERIFY(panel.find<QDialog>("coilsDialog") == nullptr);
            QCOMPARE(fileText(path), *row.rig);
            continue;
        }
        QTRY_VERIFY(panel.find<QDialog>("coilsDialog") == nullptr);
        const std::string text = fileText(path);
        QCOMPARE(QString::fromStdString(row.rig ? text : text.substr(text.find("\n[coil") + 1)),
                 QString::fromStdString(row.written));
        QCOMPARE(panel.state().rig()->coils.size(), row.rig ? 2U : 1U);
        QCOMPARE(panel.status(), row.rig ? QString("Found 1 of 2 coils: coil Bass not found (Bass Coil #2)") : QString("Found 1 of 1 coil"));
    }
}

void CoilsDialogTest::channelBoxesNameTheSongsNotesAndTheOptionsLeadToTheCoils()
{
    QTemporaryDir dir;
    SmfBuilder song(1, 500);
    song.track().event(0, {0xFF, 0x03, 4, 'T', 'u', 'n', 'e'}).noteOn(0, 2, 60, 90).noteOff(10, 2, 60).noteOn(0, 2, 62, 90);
    Panel panel(devicesWithController(1, 0), std::nullopt, std::string(kLead));
    panel.answerDialogs({writeFile(dir, "a.mid", song.end().bytes())});
    panel.find<QAction>("openAction")->trigger();
    panel.find<QAction>("optionsAction")->trigger();
    auto* options = panel.find<QDialog>("optionsDialog");
    QVERIFY(!options->findChild<QLineEdit*>("channelEdit")->isEnabled());
    auto* coils = options->findChild<QPushButton*>("coilsButton");
    QCOMPARE(coils->text(), QString("&Coils..."));
    coils->click();
    QTRY_VERIFY(panel.find<QDialog>("coilsDialog") != nullptr);
    auto* dialog = panel.find<QDialog>("coilsDialog");
    QTRY_COMPARE(dialog->findChild<QCheckBox*>("channelBox2")->text(), QString("&2  2 notes, Tune"));
    QCOMPARE(dialog->findChild<QCheckBox*>("channelBox12")->text(), QString("1&2  0 notes"));
    QVERIFY(dialog->findChild<QCheckBox*>("channelBox12")->palette().color(QPalette::WindowText) !=
            dialog->findChild<QCheckBox*>("channelBox2")->palette().color(QPalette::WindowText));
}

QTEST_MAIN(CoilsDialogTest)
#include "CoilsDialogTest.moc"
