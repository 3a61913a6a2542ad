#include "GuiTestSupport.h"
#include "rig/RigSong.h"
#include "song/SongLoader.h"
#include "views/AnalysisWindows.h"
#include "views/ChartPainter.h"
#include "views/ChartWindow.h"
#include "views/Charts.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

#include <iostream>
#include <sstream>

namespace {

// Standard output, captured while the test runs.
class CapturedOut {
public:
    CapturedOut() : m_saved(std::cout.rdbuf(m_text.rdbuf())) {}
    ~CapturedOut() { std::cout.rdbuf(m_saved); }
    std::string text() const { return m_text.str(); }

private:
    std::stringstream m_text;
    std::streambuf* m_saved;
};

// Channel 2: key 60 from 0 to 300 ms, key 72 from 120 to 200 ms; channel 9
// one note; ticks are milliseconds.
std::vector<std::uint8_t> smallSong(int lastKey = 72)
{
    SmfBuilder song(0, 500);
    song.track()
        .noteOn(0, 2, 60, 100)
        .noteOn(120, 2, lastKey, 64)
        .noteOn(30, 9, 40, 90)
        .noteOff(50, 2, lastKey)
        .noteOff(60, 9, 40)
        .noteOff(40, 2, 60);
    return song.end().bytes();
}

// What a computation from scratch gives for channel 2 of `path`.
Chart freshChart(ChartKind kind, const QString& path)
{
    PlaybackOptions options;
    options.playChannel = 2;
    return chartForSong(kind, loadSong(path.toStdString(), options), path.toStdString());
}

// Opens `name` from the Tools menu; null unless it has painted.
ChartWindow* openWindow(Panel& panel, const char* action, const char* name)
{
    panel.find<QAction>(action)->trigger();
    ChartWindow* window = nullptr;
    const bool painted = QTest::qWaitFor(
        [&] {
            window = panel.find<ChartWindow>(name);
            return window != nullptr && window->paints() > 0;
        },
        10000);
    return painted ? window : nullptr;
}

}  // namespace

class AnalysisWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void toolsMenuListsTheWindowsBeforeOptions();
    void windowShowsTheChartOfTheSelectedFile_data();
    void windowShowsTheChartOfTheSelectedFile();
    void withoutAFileTheWindowSaysSoAndPrintsNothing();
    void changedFileShowsAtTheNextPaint();
    void windowScalesItsChartWithoutSmoothing();
    void optionsNameTheChannelsThatHaveNotes();
    void windowsBesideAPlayingSongShowWhereItIs();
    void aRigOfTwoCoilsOrMoreGivesTheWindowsACoilChooser_data();
    void aRigOfTwoCoilsOrMoreGivesTheWindowsACoilChooser();

private:
    QTemporaryDir m_dir;
};

void AnalysisWindowsTest::toolsMenuListsTheWindowsBeforeOptions()
{
    Panel panel(devicesWithController(1, 0));
    QStringList texts;
    for (const QAction* action : panel.window->toolsMenu()->actions()) {
        texts << action->text().remove('&');
    }
    QCOMPARE(texts, (QStringList{"Frequency Analysis...", "Notes...", "Duty Cycle...", "Coils...", "Options...", "Check song...", "Live Input...", "", "Silence coil"}));
}

void AnalysisWindowsTest::windowShowsTheChartOfTheSelectedFile_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("prints");
    QTest::newRow("spectrum") << "spectrumAction" << "spectrumWindow" << "Frequency Analysis"
                              << int(ChartKind::Spectrum) << true;
    QTest::newRow("notes") << "notesAction" << "notesWindow" << "Notes" << int(ChartKind::Notes) << false;
    QTest::newRow("duty") << "dutyAction" << "dutyWindow" << "Duty Cycle" << int(ChartKind::Duty) << true;
}

void AnalysisWindowsTest::windowShowsTheChartOfTheSelectedFile()
{
    QFETCH(QString, action);
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(int, kind);
    QFETCH(bool, prints);
    Panel panel(devicesWithController(1, 0));
    const QString first = writeFile(m_dir, "first.mid", steadySong(2));
    const QString second = writeFile(m_dir, "second.mid", smallSong());
    panel.answerDialogs({first, second});
    panel.find<QAction>("openAction")->trigger();
    panel.find<QListWidget>("playlist")->setCurrentRow(1);
    panel.context->options.playChannel = 2;

    std::string printed;
    {
        CapturedOut out;
        ChartWindow* window = openWindow(panel, action.toLatin1(), name.toLatin1());
        QVERIFY(window != nullptr);
        QCOMPARE(window->windowTitle(), title);
        QVERIFY(!window->isModal());
        window->repaint();
        QCOMPARE(window->paints(), 2);
        const Chart fresh = freshChart(static_cast<ChartKind>(kind), second);
        QVERIFY(!fresh.bars.empty());
        QCOMPARE(window->picture()->chart.bars, fresh.bars);
        QCOMPARE(window->picture()->chart.message, std::string());
        window->close();
        printed = out.text();
    }
    const std::string lines = "1\nLoaded file is: " + second.toStdString() + "\n";
    QCOMPARE(printed, prints ? lines + lines : std::string());
}

void AnalysisWindowsTest::withoutAFileTheWindowSaysSoAndPrintsNothing()
{
    Panel panel(devicesWithController(1, 0));
    CapturedOut out;
    ChartWindow* window = openWindow(panel, "dutyAction", "dutyWindow");
    QVERIFY(window != nullptr);
    QCOMPARE(window->picture()->chart.message, std::string("No file loaded!"));
    QVERIFY(window->picture()->chart.bars.empty());
    window->close();
    QCOMPARE(out.text(), std::string());
}

void AnalysisWindowsTest::changedFileShowsAtTheNextPaint()
{
    Panel panel(devicesWithController(1, 0));
    const QString path = writeFile(m_dir, "changing.mid", smallSong());
    panel.answerDialogs({path});
    panel.find<QAction>("openAction")->trigger();
    panel.context->options.playChannel = 2;
    ChartWindow* window = openWindow(panel, "notesAction", "notesWindow");
    QVERIFY(window != nullptr);
    const std::vector<ChartRect> before = window->picture()->chart.bars;

    // Key 72 becomes key 100: its bar moves 28 rows up.
    writeFile(m_dir, "changing.mid", smallSong(100));
    const Chart fresh = freshChart(ChartKind::Notes, path);
    QVERIFY(fresh.bars != before);
    window->update();
    QTRY_COMPARE(window->picture()->chart.bars, fresh.bars);
    window->close();
}

void AnalysisWindowsTest::windowScalesItsChartWithoutSmoothing()
{
    Panel panel(devicesWithController(1, 0));
    const QString path = writeFile(m_dir, "scaled.mid", smallSong());
    panel.answerDialogs({path});
    panel.find<QAction>("openAction")->trigger();
    panel.context->options.playChannel = 2;
    ChartWindow* window = openWindow(panel, "spectrumAction", "spectrumWindow");
    QVERIFY(window != nullptr);
    // Three times the field, with 40 spare pixels on each side.
    const LayoutSize tripled = chartAreaFor(window->picture()->chart, 3, chartLabelMetrics(chartLabelFont(window->font())));
    window->resize(tripled.width + 80, tripled.height);
    const QImage shown = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(window->layout().scale, 3.0);
    QCOMPARE(shown.copy(toRect(window->layout().field).toRect()), renderChart(*window->picture(), 3));
    window->close();
}

void AnalysisWindowsTest::optionsNameTheChannelsThatHaveNotes()
{
    Panel panel(devicesWithController(1, 0));
    panel.find<QAction>("optionsAction")->trigger();
    auto* line = panel.find<QLabel>("channelNotesLine");
    QVERIFY(line != nullptr);
    QCOMPARE(line->text(), QString());
    panel.find<QPushButton>("cancelButton")->click();

    panel.answerDialogs({writeFile(m_dir, "channels.mid", smallSong())});
    panel.find<QAction>("openAction")->trigger();
    QTRY_VERIFY(panel.find<QDialog>("optionsDialog") == nullptr);
    panel.find<QAction>("optionsAction")->trigger();
    line = panel.find<QLabel>("channelNotesLine");
    QVERIFY(line != nullptr);
    QTRY_COMPARE(line->text(), QString("Notes in this file: channel 2: 2, channel 9: 1"));
    panel.find<QPushButton>("cancelButton")->click();
}

void AnalysisWindowsTest::windowsBesideAPlayingSongShowWhereItIs()
{
    Panel panel(devicesWithController(2, 1));
    const QString path = writeFile(m_dir, "long.mid", steadySong(30));
    panel.answerDialogs({path, writeFile(m_dir, "other.mid", smallSong())});
    panel.find<QAction>("openAction")->trigger();
    panel.find<QPushButton>("playButton")->click();
    ChartWindow* notes = openWindow(panel, "notesAction", "notesWindow");
    ChartWindow* duty = openWindow(panel, "dutyAction", "dutyWindow");
    QVERIFY(notes != nullptr && duty != nullptr);
    // One window of a kind: asking again raises it.
    panel.find<QAction>("notesAction")->trigger();
    QCOMPARE(panel.window->findChildren<ChartWindow*>("notesWindow").size(), 1);

    QTRY_VERIFY(notes->shownPlayhead().has_value());
    const int first = *notes->shownPlayhead();
    const ChartPicture* picture = notes->picture();
    const int loaded = panel.window->findChild<AnalysisWindows*>()->source().songsLoaded();
    QTRY_VERIFY(notes->shownPlayhead().value_or(0) > first);
    QCOMPARE(notes->picture(), picture);
    QCOMPARE(panel.window->findChild<AnalysisWindows*>()->source().songsLoaded(), loaded);
    const QImage shown = notes->grab().toImage();
    const QRectF field = toRect(notes->layout().field);
    QCOMPARE(shown.pixelColor(playheadRect(picture->chart, field, *notes->shownPlayhead()).center().toPoint()),
             kChartPlayheadColour);
    QTRY_VERIFY(duty->shownPlayhead().has_value());
    // Frequency Analysis marks the one key sounding, under its bar.
    ChartWindow* spectrum = openWindow(panel, "spectrumAction", "spectrumWindow");
    QVERIFY(spectrum != nullptr);
    const auto marked = [spectrum] {
        const QImage image = spectrum->grab().toImage();
        const std::vector<std::int32_t> keys = spectrum->shownKeys();
        return keys.size() == 1 && image.pixelColor(toRect(keyMarkBox(spectrum->layout(), keys.front())).center().toPoint()) ==
                                       kChartPlayheadColour;
    };
    QTRY_VERIFY(marked());
    {
        // A paint of the whole chart prints, even while the line waits to move.
        CapturedOut out;
        duty->setPlayhead(Playhead{path.toStdString(), 9'000});
        duty->repaint();
        QCOMPARE(out.text(), "0\nLoaded file is: " + path.toStdString() + "\n");
    }

    // The Speed box turned while it plays: the charts of the song follow it.
    panel.find<QSpinBox>("speedSpin")->setValue(200);
    PlaybackOptions twice;
    twice.speedPercent = 200;
    const Chart faster = chartForSong(ChartKind::Notes, loadSong(path.toStdString(), twice), {});
    QVERIFY(faster.bars != picture->chart.bars);
    QTRY_COMPARE(notes->picture()->chart.bars, faster.bars);

    // Another file selected: its chart has no playhead of the song that plays.
    panel.find<QListWidget>("playlist")->setCurrentRow(1);
    QTRY_COMPARE(notes->shownPlayhead(), std::nullopt);
    panel.find<QListWidget>("playlist")->setCurrentRow(0);
    QTRY_VERIFY(notes->shownPlayhead().has_value());
    // The panel is usable beside the window: Stop ends the song and the line.
    QTest::mouseClick(panel.find<QPushButton>("stopButton"), Qt::LeftButton);
    QCOMPARE(panel.state().playing.load(), 0);
    QTRY_COMPARE(notes->shownPlayhead(), std::nullopt);
    QVERIFY(notes->isVisible());
}

void AnalysisWindowsTest::aRigOfTwoCoilsOrMoreGivesTheWindowsACoilChooser_data()
{
    QTest::addColumn<QString>("rig");
    QTest::addColumn<bool>("chooses");
    QTest::newRow("no rig file") << QString() << false;
    QTest::newRow("one coil") << "[coil Lead]\nchannels = 2\n" << false;
    QTest::newRow("two coils") << "[coil Lead]\nchannels = 2\n[coil Bass]\nchannels = 9\ntranspose = 7\n" << true;
}

void AnalysisWindowsTest::aRigOfTwoCoilsOrMoreGivesTheWindowsACoilChooser()
{
    QFETCH(QString, rig);
    QFETCH(bool, chooses);
    Panel panel(devicesWithController(1, 0), std::nullopt, rig.isEmpty() ? std::nullopt : std::optional(rig.toStdString()));
    const QString path = writeFile(m_dir, "coils.mid", smallSong());
    panel.answerDialogs({path});
    panel.find<QAction>("openAction")->trigger();
    panel.context->options.playChannel = 2;
    ChartWindow* notes = openWindow(panel, "notesAction", "notesWindow");
    ChartWindow* duty = openWindow(panel, "dutyAction", "dutyWindow");
    QVERIFY(notes != nullptr && duty != nullptr);
    auto* chooser = notes->findChild<QComboBox*>("coilChooser");
    QCOMPARE(chooser->isVisibleTo(notes), chooses);
    QCOMPARE(notes->picture()->chart.bars, freshChart(ChartKind::Notes, path).bars);
    if (!chooses) {
        return;
    }
    QCOMPARE(chooser->count(), 2);
    // Bass plays channel 9's one note, a fifth up: both windows show its chart.
    QTest::keyClick(chooser, Qt::Key_Down);
    const LoadedSong bass = loadCoilSong(path.toStdString(), *coilSongSetup(*panel.state().rig(), {}, "Bass", {}, panel.context->options));
    QCOMPARE(chartForSong(ChartKind::Notes, bass, {}).bars.size(), std::size_t{1});
    QTRY_COMPARE(notes->picture()->chart.bars, chartForSong(ChartKind::Notes, bass, {}).bars);
    QCOMPARE(duty->findChild<QComboBox*>("coilChooser")->currentText(), QString("Bass"));
    QTRY_COMPARE(duty->picture()->chart.figures, chartForSong(ChartKind::Duty, bass, {}).figures);
}

QTEST_MAIN(AnalysisWindowsTest)
#include "AnalysisWindowsTest.moc"
