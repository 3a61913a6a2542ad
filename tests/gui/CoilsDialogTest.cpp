#include "GuiTestSupport.h"

#include "app/SeekSlider.h"
#include "app/SongSettingsDialog.h"
#include "rig/RigFile.h"
#include "song/SongSettingsFile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
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
    void theSongSettingsFieldsBecomeTheSongsFileWhichTheNextPlayTakes();
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

void CoilsDialogTest::theSongSettingsFieldsBecomeTheSongsFileWhichTheNextPlayTakes()
{
    using Edit = std::function<void(QDialog*)>;
    const auto tick = [](QDialog* d, const char* name, bool on) { d->findChild<QCheckBox*>(name)->setChecked(on); };
    const struct {
        std::optional<std::string> rig, before;
        Edit edit;
        std::string written;  // the file after OK; the error line when it stays open
    } rows[] = {
        {std::nullopt, std::nullopt,
         [&](QDialog* d) {
             tick(d, "channelsAsRigBox", false);
             tick(d, "channelBox2", true);
             tick(d, "channelBox13", true);
             tick(d, "transposeAsRigBox", false);
             d->findChild<QSpinBox*>("transposeSpin")->setValue(12);
             d->findChild<QSpinBox*>("songSpeedSpin")->setValue(135);
             tick(d, "loopBox", true);
             d->findChild<QDoubleSpinBox*>("loopFromSpin")->setValue(0.75);
             d->findChild<QDoubleSpinBox*>("loopUntilSpin")->setValue(7.25);
         },
         "speed = 135\nloop = 0.75-7.25\n\n[coil Coil]\nchannels = 2-3, 13\ntranspose = 12\n"},
        {"[coil Lead]\nchannels = 0\n[coil Bass]\nchannels = 1\ntranspose = -12\n",
         "speed = 100\nloop = 1-2\n[coil Lead]\ntranspose = -5\n[coil Gone]\nchannels = 4\n",
         [&](QDialog* d) {
             QCOMPARE(d->findChild<QSpinBox*>("transposeSpin")->value(), -5);
             tick(d, "loopBox", false);
             tick(d, "transposeAsRigBox", true);
             d->findChild<QComboBox*>("songCoilBox")->setCurrentIndex(1);
             QCOMPARE(d->findChild<QSpinBox*>("transposeSpin")->value(), -12);
             tick(d, "channelsAsRigBox", false);
             tick(d, "channelBox3", true);
         },
         "speed = 100\n\n[coil Gone]\nchannels = 4\n\n[coil Bass]\nchannels = 1, 3\n"},
        {std::nullopt, std::nullopt,
         [&](QDialog* d) {
             tick(d, "channelsAsRigBox", false);
             tick(d, "channelBox3", false);
         },
         "Coil Coil: no channel is ticked"},
        {std::nullopt, "speed = 401\n", [](QDialog*) {},
         ":2: speed must be a whole number from 25 to 400 (the file is kept as it is)"},
    };
    for (const auto& row : rows) {
        QTemporaryDir dir;
        Panel panel(devicesWithController(1, 0), std::nullopt, row.rig);
        panel.context->options.playChannel = 3;
        const QString song = writeFile(dir, "tune.mid", steadySong(20, 3));
        FoundSongSettings found;
        std::string error;
        QVERIFY(findSongSettings(song.toStdString(), found, error));
        if (row.before) {
            std::filesystem::create_directories(std::filesystem::path(found.path).parent_path());
            std::ofstream(found.path) << "# mine\n" << *row.before;
        }
        panel.answerDialogs({song});
        panel.find<QAction>("openAction")->trigger();
        panel.find<QAction>("songSettingsAction")->trigger();
        auto* dialog = panel.find<SongSettingsDialog>("songSettingsDialog");
        QTRY_VERIFY(dialog->ready());
        row.edit(dialog);
        QTest::keyClick(dialog->findChild<QSpinBox*>("songVolumeSpin"), Qt::Key_Return);
        if (row.written.front() != '[' && row.written.find(" = ") == std::string::npos) {
            const std::string shown = row.written.front() == ':' ? "Error: " + found.path + row.written : row.written;
            QCOMPARE(dialog->findChild<QLabel*>("songSettingsErrorLine")->text(), QString::fromStdString(shown));
            QCOMPARE(QString::fromStdString(fileText(found.path)), QString::fromStdString(row.before ? "# mine\n" + *row.before : ""));
            QTest::keyClick(dialog, Qt::Key_Escape);
            QTRY_VERIFY(panel.find<QDialog>("songSettingsDialog") == nullptr);
            continue;
        }
        QTRY_VERIFY(panel.find<QDialog>("songSettingsDialog") == nullptr);
        QCOMPARE(QString::fromStdString(fileText(found.path)), "# settings of the song tune.mid\n" + QString::fromStdString(row.written));
        QTRY_COMPARE(panel.find<QListWidget>("playlist")->item(0)->text(), QString("tune.mid (0:20) [settings]"));
        // The next Play takes them: the Speed box and the loop's band follow.
        panel.find<QAction>("playPauseAction")->trigger();
        QTRY_VERIFY(panel.find<QLabel>("songTimeLabel")->text().startsWith("Playing"));
        QTRY_COMPARE(panel.find<QSpinBox>("speedSpin")->value(), row.before ? 100 : 135);
        QCOMPARE(panel.find<SeekSlider>("progressSlider")->band().has_value(), !row.before);
        // A change while it plays goes to the worker, from where the song is.
        panel.find<QSpinBox>("speedSpin")->setValue(155);
        QTRY_COMPARE(panel.status(), QString("Speed 155 %"));
        panel.find<QAction>("stopAction")->trigger();
        QTRY_VERIFY(!panel.window->hasWorker());
    }
}

QTEST_MAIN(CoilsDialogTest)
#include "CoilsDialogTest.moc"
