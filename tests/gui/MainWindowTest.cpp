#include "GuiTestSupport.h"
#include "song/SongSettingsFile.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

namespace {

constexpr int kController = 1;

bool click(Panel& panel, const char* name)
{
    auto* button = panel.find<QPushButton>(name);
    if (button == nullptr) {
        return false;
    }
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

bool trigger(Panel& panel, const char* name)
{
    auto* action = panel.find<QAction>(name);
    if (action == nullptr) {
        return false;
    }
    action->trigger();
    return true;
}

// The files of the box's rows by their full paths (the rows' tooltips), or
// the placeholder's text.
QStringList boxLines(Panel& panel)
{
    QStringList lines;
    auto* box = panel.find<QListWidget>("playlist");
    for (int row = 0; box != nullptr && row < box->count(); ++row) {
        const QListWidgetItem* item = box->item(row);
        lines << (item->toolTip().isEmpty() ? item->text() : item->toolTip());
    }
    return lines;
}

int noteOnsWithVelocity(const Messages& messages)
{
    return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                          [](const Message& m) { return m[0] == 0x90 && m[2] != 0; }));
}

// Whether the messages end with the silencing, after which no key sounds:
// all-sound-off, the note-offs of the keys still sounding, all-notes-off.
bool endsSilenced(const Messages& messages)
{
    const auto start = std::find(messages.rbegin(), messages.rend(), kAllSoundOff);
    std::set<int> sounding;
    for (auto m = messages.begin(); start != messages.rend() && m != start.base() - 1; ++m) {
        if ((*m)[0] == 0x90) {
            (*m)[2] != 0 ? (void)sounding.insert((*m)[1]) : (void)sounding.erase((*m)[1]);
        }
    }
    Messages silencing{kAllSoundOff};
    for (const int key : sounding) {
        silencing.push_back(noteOn(key, 0));
    }
    silencing.push_back(kAllNotesOff);
    return start != messages.rend() && Messages(start.base() - 1, messages.end()) == silencing;
}

// A song loader whose first song takes until the stop flag is raised to
// read (10 s at most); later songs load at once.
class SlowFirstRead {
public:
    SongLoad loader()
    {
        return [this](const std::string& fileName, const Rig& rig, const PlaybackOptions& options,
                      const std::atomic<bool>* stop, DiagnosticSink&) {
            if (m_calls.fetch_add(1) > 0) {
                return loadRigSong(fileName, rig, options, stop);
            }
            m_reading.store(true);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!(stop != nullptr && stop->load()) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            m_releasedByStop.store(stop != nullptr && stop->load());
            return loadRigSong(fileName, rig, options, stop);
        };
    }
    bool reading() const { return m_reading.load(); }
    bool releasedByStop() const { return m_releasedByStop.load(); }

private:
    std::atomic<int> m_calls{0};
    std::atomic<bool> m_reading{false};
    std::atomic<bool> m_releasedByStop{false};
};

int openRecords(const VirtualMidiService& service, int device)
{
    int count = 0;
    for (const auto& record : service.records()) {
        count += record.kind == VirtualMidiService::Record::Kind::Open && record.device == device ? 1 : 0;
    }
    return count;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void findsTheController_data();
    void findsTheController();
    void startsWithItsControlsInPlace();
    void menuEntries_data();
    void menuEntries();

    void playIsRefused_data();
    void playIsRefused();
    void openReplacesThePlaylistHighlightsTheFirstFileAndRewindsTheSlider();
    void cancelledOpenKeepsThePlaylist();
    void droppedThingsThatCannotPlayAreRefusedAloud_data();
    void droppedThingsThatCannotPlayAreRefusedAloud();
    void addOnAnEmptyPlaylistRemovesThePlaceholder();
    void cancelledAddChangesNothing();
    void selectingALineShowsItsPath();
    void droppedFilesAreAddedLikeAdd();

    void playPausePlayResumesTheSameWorker();
    void spaceAnywherePlaysAndPauses_data();
    void spaceAnywherePlaysAndPauses();
    void everyMenuHasMnemonicsOfItsOwn();
    void wholePlaylistPlaysTheFilesInTurn_data();
    void wholePlaylistPlaysTheFilesInTurn();
    void whatTheLimitsDidStaysShownUntilTheNextPlay();
    void checkSaysWhatIsWrongAtPlayAndInItsWindow();
    void nextAndPreviousMoveThroughThePlaylist_data();
    void nextAndPreviousMoveThroughThePlaylist();
    void seekingMovesThePausedSong_data();
    void seekingMovesThePausedSong();
    void activatingAnEntryPlaysIt();
    void stopEndsTheWorkerAndSilencesTheCoil_data();
    void stopEndsTheWorkerAndSilencesTheCoil();
    void stopWhilePausedKeepsFixedModeRefusedUntilPlay();
    void fixedModeIsRefused_data();
    void fixedModeIsRefused();
    void selectingWhilePlayingKeepsTheCurrentFile();
    void volumeMovesBecomeThePendingVolume_data();
    void volumeMovesBecomeThePendingVolume();
    void restartIsServedByTheWorker_data();
    void restartIsServedByTheWorker();
    void sessionReportsReachTheStatusBar_data();
    void sessionReportsReachTheStatusBar();
    void songRunsToItsEndAndTheWorkerIsJoined();
    void closingStopsPlayback_data();
    void closingStopsPlayback();
    void stopThenPlayInOneTurnLeavesTheNewWorkerPlaying();
    void leavingAWorkerThatReadsStopsTheReadFirst_data();
    void leavingAWorkerThatReadsStopsTheReadFirst();
    void controllerTroubleIsSaidAndTheNextPlayLooksAgain_data();
    void controllerTroubleIsSaidAndTheNextPlayLooksAgain();
    void silenceCoilStopsTheSongAndResetsEveryChannel_data();
    void silenceCoilStopsTheSongAndResetsEveryChannel();
    void panicResetsEveryCoilOfTheRigAndTheControllerDespiteAMissingOne();
    void volumeSliderFillsBelowItsHandle();
    void aboutDialogShowsTheProgramName();
    void playlistRowsShowNamesAndLengthsAndGreyAFileThatHasGone();
    void playlistEditsKeepThePlayingSongAndItsPlace();
    void savedPlaylistLoadsInTheSameOrder();
    void closedPanelComesBackAsItWasLeft();

private:
    QString song(const QString& name, int seconds = 30, int channel = 0)
    {
        return writeFile(m_dir, name, steadySong(seconds, channel));
    }
    // One note of `key`, 200 ms long after a lead-in of 300 ms.
    QString oneNote(const QString& name, int key)
    {
        SmfBuilder one(0, 500);
        one.track().noteOn(300, 0, key, 90).noteOff(200, 0, key);
        return writeFile(m_dir, name, one.end().bytes());
    }

    QTemporaryDir m_dir;
};

void MainWindowTest::init()
{
    QVERIFY(m_dir.isValid());
}

void MainWindowTest::findsTheController_data()
{
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("status");

    QTest::newRow("at index 0") << QStringList{kControllerName, "Synth"} << 0
                                << "Found Quillarc USB controller on port 0";
    QStringList thirteen;
    for (const std::string& name : devicesWithController(13, 12)) {
        thirteen << QString::fromStdString(name);
    }
    QTest::newRow("at index 12") << thirteen << 12 << "Found Quillarc USB controller on port 12";
    QTest::newRow("two controllers: the lower index") << QStringList{"Synth", kControllerName, kControllerName} << 1
                                                      << "Found Quillarc USB controller on port 1";
    QTest::newRow("longer name") << QStringList{"Quillarc USB Controller 2"} << -1
                                 << "Error: no compatible controller found";
    QTest::newRow("other case") << QStringList{"quillarc usb controller"} << -1
                                << "Error: no compatible controller found";
    QTest::newRow("none") << QStringList{"Synth", "Other"} << -1 << "Error: no compatible controller found";
}

void MainWindowTest::findsTheController()
{
    QFETCH(QStringList, devices);
    QFETCH(int, port);
    QFETCH(QString, status);
    std::vector<std::string> names;
    for (const QString& name : devices) {
        names.push_back(name.toStdString());
    }
    Panel panel(names);
    QVERIFY(panel.installed);
    QCOMPARE(panel.state().controllerPort.load(), port);
    QCOMPARE(panel.status(), status);
}

void MainWindowTest::startsWithItsControlsInPlace()
{
    Panel panel(devicesWithController(2, kController));
    QCOMPARE(panel.window->windowTitle(), QString("Quillarc Control Panel"));
    auto* volume = panel.find<QSlider>("volumeSlider");
    auto* progress = panel.find<QSlider>("progressSlider");
    QVERIFY(volume && progress);
    QCOMPARE(volume->orientation(), Qt::Vertical);
    QCOMPARE(volume->minimum(), 0);
    QCOMPARE(volume->maximum(), 127);
    QCOMPARE(volume->value(), 96);
    QVERIFY2(volume->invertedAppearance(), "position 0, the loudest, is at the top");
    QCOMPARE(progress->orientation(), Qt::Horizontal);
    QCOMPARE(progress->maximum(), 127);
    QCOMPARE(panel.state().pendingVolume.load(), -1);
    QCOMPARE(boxLines(panel), QStringList{"No files selected"});
    for (const char* name : {"playButton", "pauseButton", "stopButton", "restartButton", "nextButton"}) {
        auto* button = panel.find<QPushButton>(name);
        QVERIFY2(button && !button->icon().isNull(), name);
    }
    QCOMPARE(panel.find<QPushButton>("fixedModeButton")->text(), QString("Fixed Mode"));
    QCOMPARE(panel.find<QPushButton>("exitButton")->text(), QString("Exit"));
    QVERIFY(panel.find<QStatusBar>("statusBar")->isVisible());
}

void MainWindowTest::menuEntries_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text");
    QTest::newRow("open") << "fileMenu" << "openAction" << "Open...";
    QTest::newRow("add") << "fileMenu" << "addAction" << "Add...";
    QTest::newRow("load playlist") << "fileMenu" << "loadPlaylistAction" << "Load playlist...";
    QTest::newRow("save playlist") << "fileMenu" << "savePlaylistAction" << "Save playlist...";
    QTest::newRow("exit") << "fileMenu" << "exitAction" << "Exit";
    QTest::newRow("remove") << "playlistMenu" << "removeAction" << "Remove";
    QTest::newRow("clear") << "playlistMenu" << "clearAction" << "Clear";
    QTest::newRow("move up") << "playlistMenu" << "moveUpAction" << "Move up";
    QTest::newRow("move down") << "playlistMenu" << "moveDownAction" << "Move down";
    QTest::newRow("options") << "toolsMenu" << "optionsAction" << "Options...";
    QTest::newRow("about") << "helpMenu" << "aboutAction" << "About...";
}

void MainWindowTest::menuEntries()
{
    QFETCH(QString, menu);
    QFETCH(QString, action);
    QFETCH(QString, text);
    Panel panel(devicesWithController(1, 0));
    auto* owner = panel.window->menuBar()->findChild<QMenu*>(menu);
    QVERIFY(owner);
    auto* entry = panel.find<QAction>(action.toLatin1().constData());
    QVERIFY(entry);
    QVERIFY(owner->actions().contains(entry));
    QCOMPARE(entry->text().remove('&'), text);
    const QStringList titles{"File", "Playlist", "Playback", "Tools", "Help"};
    QStringList shown;
    for (QAction* top : panel.window->menuBar()->actions()) {
        shown << top->text().remove('&');
    }
    QCOMPARE(shown, titles);
}

void MainWindowTest::playIsRefused_data()
{
    QTest::addColumn<bool>("withController");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<QString>("status");
    QTest::newRow("no file") << true << false << "No file loaded";
    QTest::newRow("no file, no controller") << false << false << "No file loaded";
    QTest::newRow("no controller") << false << true << "Error: no compatible controller found";
}

void MainWindowTest::playIsRefused()
{
    QFETCH(bool, withController);
    QFETCH(bool, withFile);
    QFETCH(QString, status);
    Panel panel(devicesWithController(3, withController ? kController : -1));
    if (withFile) {
        panel.answerDialogs({}, song("a.mid"));
        QVERIFY(trigger(panel, "addAction"));
    }
    QVERIFY(click(panel, "playButton"));
    QCOMPARE(panel.status(), status);
    QCOMPARE(panel.state().playing.load(), 0);
    QCOMPARE(panel.window->workersStarted(), 0);
}

void MainWindowTest::openReplacesThePlaylistHighlightsTheFirstFileAndRewindsTheSlider()
{
    Panel panel(devicesWithController(2, kController));
    const QStringList paths{m_dir.filePath("one.mid"), m_dir.filePath("two.mid"), m_dir.filePath("three.mid")};
    panel.answerDialogs(paths);
    panel.find<QSlider>("progressSlider")->setValue(90);  // where a song that ended left it
    QVERIFY(trigger(panel, "openAction"));

    QCOMPARE(panel.status(), QString("Loaded "));
    QCOMPARE(boxLines(panel), paths);
    auto* box = panel.find<QListWidget>("playlist");
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(box->item(row)->data(Qt::UserRole).toInt(), row);
    }
    QCOMPARE(box->selectedItems(), QList<QListWidgetItem*>{box->item(0)});
    QCOMPARE(panel.find<QSlider>("progressSlider")->value(), 0);
    QCOMPARE(panel.window->playlist().fileCount(), 3);
    QCOMPARE(panel.window->playlist().selectedFile(), 0);
    QVERIFY(panel.window->playlist().fileLoaded());

    // A second Open replaces, not appends.
    panel.answerDialogs({paths[2]});
    QVERIFY(trigger(panel, "openAction"));
    QCOMPARE(boxLines(panel), QStringList{paths[2]});
    QCOMPARE(panel.window->playlist().fileCount(), 1);
}

void MainWindowTest::cancelledOpenKeepsThePlaylist()
{
    Panel panel(devicesWithController(2, kController));
    const QString first = song("first.mid");
    panel.answerDialogs({first});
    QVERIFY(trigger(panel, "openAction"));
    panel.answerDialogs({});
    QVERIFY(trigger(panel, "openAction"));

    QCOMPARE(boxLines(panel), QStringList{first});
    QCOMPARE(panel.window->playlist().fileCount(), 1);
    QVERIFY(click(panel, "playButton"));
    QCOMPARE(panel.state().currentFileName(), first.toStdString());
}

void MainWindowTest::addOnAnEmptyPlaylistRemovesThePlaceholder()
{
    Panel panel(devicesWithController(2, kController));
    const QString first = m_dir.filePath("first.mid");
    const QString second = m_dir.filePath("second.mid");
    panel.answerDialogs({}, first);
    QVERIFY(trigger(panel, "addAction"));
    QCOMPARE(panel.status(), QString("Loaded "));
    QCOMPARE(boxLines(panel), QStringList{first});

    panel.answerDialogs({}, second);
    QVERIFY(trigger(panel, "addAction"));
    QCOMPARE(boxLines(panel), (QStringList{first, second}));
    QCOMPARE(panel.find<QListWidget>("playlist")->item(1)->data(Qt::UserRole).toInt(), 1);
    QCOMPARE(panel.window->playlist().fileCount(), 2);
}

void MainWindowTest::cancelledAddChangesNothing()
{
    Panel panel(devicesWithController(2, kController));
    const QString before = panel.status();
    panel.answerDialogs({}, {});
    QVERIFY(trigger(panel, "addAction"));
    QCOMPARE(boxLines(panel), QStringList{"No files selected"});
    QCOMPARE(panel.status(), before);
    QVERIFY(!panel.window->playlist().fileLoaded());
}

void MainWindowTest::selectingALineShowsItsPath()
{
    Panel panel(devicesWithController(2, kController));
    const QStringList paths{m_dir.filePath("one.mid"), m_dir.filePath("two.mid"), m_dir.filePath("three.mid")};
    panel.answerDialogs(paths);
    QVERIFY(trigger(panel, "openAction"));
    auto* box = panel.find<QListWidget>("playlist");
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->visualItemRect(box->item(2)).center());
    QCOMPARE(panel.window->playlist().selectedFile(), 2);
    QCOMPARE(panel.status(), paths[2]);
}

void MainWindowTest::droppedFilesAreAddedLikeAdd()
{
    Panel panel(devicesWithController(2, kController));
    const QString first = song("dropped1.mid");
    const QString second = song("dropped2.mid");

    QMimeData web;
    web.setUrls({QUrl("https://example.com/song.mid")});
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.window.get(), &refused);
    QVERIFY(!refused.isAccepted());

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.window.get(), &drop);

    QCOMPARE(boxLines(panel), (QStringList{first, second}));
    QCOMPARE(panel.status(), QString("Loaded "));
    QCOMPARE(panel.window->playlist().fileCount(), 2);
}

void MainWindowTest::droppedThingsThatCannotPlayAreRefusedAloud_data()
{
    QTest::addColumn<QString>("dropped");  // a name in the test folder, or an address
    QTest::addColumn<QString>("status");
    QTest::newRow("folder") << "folder" << "Error: not a regular file %1";
    QTest::newRow("missing file") << "gone.mid" << "Error: cannot open file %1";
    QTest::newRow("web address beside a file") << "https://example.com/song.mid"
                                               << "Error: not a local file https://example.com/song.mid";
}

void MainWindowTest::droppedThingsThatCannotPlayAreRefusedAloud()
{
    QFETCH(QString, dropped);
    QFETCH(QString, status);
    Panel panel(devicesWithController(2, kController));
    const QString good = song("good.mid");
    QVERIFY(QDir(m_dir.path()).mkpath("folder"));
    const bool web = dropped.startsWith("https:");
    const QString path = m_dir.filePath(dropped);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(good), web ? QUrl(dropped) : QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.window.get(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.window.get(), &drop);

    QCOMPARE(boxLines(panel), QStringList{good});
    QCOMPARE(panel.status(), web ? status : status.arg(path));
}

void MainWindowTest::playPausePlayResumesTheSameWorker()
{
    Panel panel(devicesWithController(3, kController));
    panel.service->clear();  // forget the opens of the name queries at start-up
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction"));

    QVERIFY(click(panel, "playButton"));
    QCOMPARE(panel.state().playing.load(), 1);
    QCOMPARE(panel.window->workersStarted(), 1);
    // The worker opens the controller and sends the volume of the slider.
    QTRY_COMPARE(countOf(panel.messages(kController), controlChange(7, 31)), 1);

    QVERIFY(click(panel, "pauseButton"));
    QCOMPARE(panel.state().paused.load(), 1);
    QTRY_COMPARE(countOf(panel.messages(kController), kAllSoundOff), 1);
    QCOMPARE(panel.state().pauseStartPending.load(), 0);
    // A volume change while paused goes out at once.
    auto* volume = panel.find<QSlider>("volumeSlider");
    QTest::keyClick(volume, Qt::Key_Up);  // towards the top: louder
    QCOMPARE(volume->value(), 95);
    QTRY_COMPARE(countOf(panel.messages(kController), controlChange(7, 32)), 1);

    QVERIFY(click(panel, "playButton"));
    QCOMPARE(panel.state().paused.load(), 0);
    QTRY_COMPARE(panel.state().resumeRequested.load(), 0);
    const int notesBefore = noteOnsWithVelocity(panel.messages(kController));
    QTRY_VERIFY(noteOnsWithVelocity(panel.messages(kController)) > notesBefore);

    // Play while playing does nothing.
    QVERIFY(click(panel, "playButton"));
    QCOMPARE(panel.window->workersStarted(), 1);
    QVERIFY(panel.window->hasWorker());
    QCOMPARE(openRecords(*panel.service, kController), 1);
    QCOMPARE(countOf(panel.messages(kController), controlChange(7, 31)), 1);
}

void MainWindowTest::spaceAnywherePlaysAndPauses_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("playlist") << "playlist";
    QTest::newRow("progress slider") << "progressSlider";
    QTest::newRow("a button other than Play") << "stopButton";
}

void MainWindowTest::spaceAnywherePlaysAndPauses()
{
    QFETCH(QString, focus);
    Panel panel(devicesWithController(2, kController));
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction") && QTest::qWaitForWindowActive(panel.window.get()));
    auto* widget = panel.find<QWidget>(focus.toLatin1().constData());
    widget->setFocus();
    for (const auto& [playing, paused] : {std::pair{1, 0}, {1, 1}, {1, 0}}) {
        QTest::keyClick(widget, Qt::Key_Space);
        QCOMPARE(std::pair(panel.state().playing.load(), panel.state().paused.load()), std::pair(playing, paused));
    }
    QCOMPARE(panel.window->workersStarted(), 1);
    // Enter presses the button that has the focus.
    QTest::keyClick(panel.find<QPushButton>("stopButton"), Qt::Key_Return);
    QCOMPARE(panel.state().playing.load(), 0);
}

void MainWindowTest::everyMenuHasMnemonicsOfItsOwn()
{
    Panel panel(devicesWithController(1, 0));
    QStringList letters;
    for (QAction* top : QList<QAction*>{nullptr} + panel.window->menuBar()->actions()) {
        letters << QString();
        for (const QAction* action : top ? top->menu()->actions() : panel.window->menuBar()->actions()) {
            const qsizetype at = action->text().indexOf('&');
            letters.back() += action->isSeparator() ? QString() : at < 0 ? "?" : action->text().mid(at + 1, 1).toLower();
        }
    }
    QCOMPARE(letters, (QStringList{"flpth", "oalse", "rcmds", "pstnvbfadowl", "fndcohls", "a"}));
    QCOMPARE(panel.find<QAction>("openAction")->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(panel.find<QAction>("exitAction")->shortcut(), QKeySequence("Ctrl+Q"));
    QVERIFY(QTest::qWaitForWindowActive(panel.window.get()));
    QTest::keyClick(panel.find<QListWidget>("playlist"), Qt::Key_F10);
    QTRY_VERIFY(panel.window->menuBar()->findChild<QMenu*>("fileMenu")->isVisible());
}

void MainWindowTest::wholePlaylistPlaysTheFilesInTurn_data()
{
    QTest::addColumn<bool>("whole");
    QTest::addColumn<bool>("firstHasNotes");
    QTest::addColumn<Messages>("sent");
    QTest::addColumn<int>("selected");  // at the end
    // Both songs in turn are shown end to end (check_player.py whole).
    QTest::newRow("off: the song ends, the panel waits")
        << false << true << Messages{controlChange(7, 31), noteOn(60, 90), noteOn(60, 0), kAllSoundOff, kAllNotesOff} << 0;
    QTest::newRow("on: past a file without notes")
        << true << false << Messages{controlChange(7, 31), noteOn(64, 90), noteOn(64, 0), kAllSoundOff, kAllNotesOff} << 1;
}

void MainWindowTest::wholePlaylistPlaysTheFilesInTurn()
{
    QFETCH(bool, whole);
    QFETCH(bool, firstHasNotes);
    QFETCH(Messages, sent);
    QFETCH(int, selected);
    Panel panel(devicesWithController(2, kController));
    panel.service->clear();
    const QString first = firstHasNotes ? oneNote("first.mid", 60) : writeFile(m_dir, "ch5.mid", steadySong(1, 5));
    panel.answerDialogs({first, oneNote("second.mid", 64)});
    QVERIFY(trigger(panel, "openAction") && (!whole || trigger(panel, "wholePlaylistAction")));
    QVERIFY(click(panel, "playButton"));
    QTRY_VERIFY(!panel.window->hasWorker());
    QCOMPARE(panel.messages(kController), sent);
    QCOMPARE(panel.window->playlist().selectedFile(), selected);
    QCOMPARE(panel.window->playingIndex(), -1);
    // A song's start wipes what was said before it ("Loaded ", no notes).
    QCOMPARE(panel.status(), QString());
    QCOMPARE(panel.find<QLabel>("songTimeLabel")->text(), QString());
}

// Lowest key 61: key 60 is dropped, 64 plays.
void MainWindowTest::whatTheLimitsDidStaysShownUntilTheNextPlay()
{
    Panel panel(devicesWithController(2, kController), "lowest_key = 61\n");
    auto* limitsLabel = panel.find<QLabel>("limitsLabel");
    QVERIFY(limitsLabel != nullptr);
    const QString dropped = "Coil limits: 0 notes softened, 1 dropped, 0 cut";
    panel.answerDialogs({oneNote("first.mid", 60), oneNote("second.mid", 64)});
    QVERIFY(trigger(panel, "openAction") && trigger(panel, "wholePlaylistAction"));
    QVERIFY(click(panel, "playButton"));
    QTRY_VERIFY(!panel.window->hasWorker());
    QCOMPARE(countOf(panel.messages(kController), noteOn(64, 90)), 1);
    QCOMPARE(limitsLabel->text(), dropped);

    // A song stopped says what the limits did to it too; Play clears it.
    SmfBuilder held(0, 500);
    held.track().noteOn(300, 0, 60, 90).noteOff(200, 0, 60).noteOn(29500, 0, 64, 90).noteOff(200, 0, 64);
    panel.answerDialogs({writeFile(m_dir, "held.mid", held.end().bytes())});
    QVERIFY(trigger(panel, "openAction") && click(panel, "playButton"));
    QCOMPARE(limitsLabel->text(), QString());
    QTRY_COMPARE(panel.find<QLabel>("songTimeLabel")->text(), QString("Playing 0:01 / 0:30"));
    QVERIFY(click(panel, "stopButton"));
    QTRY_COMPARE(limitsLabel->text(), dropped);
}

// The single coil plays channel 0; channel 1's two notes reach no coil, and
// key 60 is below the limits' range.
void MainWindowTest::checkSaysWhatIsWrongAtPlayAndInItsWindow()
{
    Panel panel(devicesWithController(2, kController), "lowest_key = 61\n");
    SmfBuilder song(0, 500);
    song.track().noteOn(300, 0, 60, 90).noteOff(100, 0, 60).noteOn(0, 1, 62, 90).noteOn(0, 1, 64, 90);
    song.noteOff(100, 1, 62).noteOff(0, 1, 64).noteOn(29000, 0, 65, 90).noteOff(100, 0, 65);
    panel.answerDialogs({writeFile(m_dir, "two.mid", song.end().bytes())});
    QVERIFY(trigger(panel, "openAction") && trigger(panel, "checkSongAction"));
    auto* report = panel.window->findChild<QPlainTextEdit*>("checkReport");
    QVERIFY(report != nullptr);
    QTRY_VERIFY2(report->toPlainText().startsWith("Channels no coil plays: channel 1 (2 notes)\nCoil Coil: plays 2 notes"),
                 qPrintable(report->toPlainText()));
    auto* checkLabel = panel.find<QLabel>("checkLabel");
    QVERIFY(click(panel, "playButton"));
    QTRY_COMPARE(checkLabel->text(), QString("Check: 2 notes on channels no coil plays, 1 dropped on Coil"));
    // Cleared by the next Play, until its own check is in.
    QVERIFY(click(panel, "stopButton"));
    QTRY_VERIFY(!panel.window->hasWorker());
    QVERIFY(click(panel, "playButton"));
    QCOMPARE(checkLabel->text(), QString());
    QTRY_COMPARE(checkLabel->text(), QString("Check: 2 notes on channels no coil plays, 1 dropped on Coil"));

    // The song's own settings put channel 1 on the coil too: checked as played.
    std::string error;
    const std::string path = QDir(m_dir.path()).filePath("two.mid").toStdString();
    SongSettings settings;
    settings.coils.push_back({"Coil", 0b11, std::nullopt});
    QVERIFY(writeSongSettings(songSettingsPath(*songFileHash(path, error)), settings, path, error));
    QVERIFY(trigger(panel, "checkSongAction"));
    QTRY_VERIFY2(report->toPlainText().startsWith("Every channel with notes is played by a coil\nCoil Coil: plays 4 notes"),
                 qPrintable(report->toPlainText()));
}

void MainWindowTest::nextAndPreviousMoveThroughThePlaylist_data()
{
    QTest::addColumn<bool>("playing");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("selected");
    QTest::newRow("idle: N holds at the last") << false << false << "NNN" << 2;
    QTest::newRow("idle, repeat: P before the first") << false << true << "P" << 2;
    QTest::newRow("playing, repeat: P plays the last") << true << true << "P" << 2;
    QTest::newRow("idle: the Previous button, < here") << false << false << "NN<" << 1;
}

// Next mid-song, silencing it, is shown end to end (check_player.py next).
void MainWindowTest::nextAndPreviousMoveThroughThePlaylist()
{
    QFETCH(bool, playing);
    QFETCH(bool, repeat);
    QFETCH(QString, keys);
    QFETCH(int, selected);
    Panel panel(devicesWithController(2, kController));
    const QStringList paths{song("one.mid"), song("two.mid"), song("three.mid")};
    panel.answerDialogs(paths);
    QVERIFY(trigger(panel, "openAction") && (!repeat || trigger(panel, "repeatPlaylistAction")));
    QVERIFY(QTest::qWaitForWindowActive(panel.window.get()) && (!playing || click(panel, "playButton")));
    for (const QChar key : keys) {
        if (key == '<') {
            QVERIFY(click(panel, "previousButton"));
        } else {
            QTest::keyClick(panel.find<QListWidget>("playlist"), key.toLatin1());
        }
    }
    QTRY_COMPARE(panel.window->playlist().selectedFile(), selected);
    QTRY_COMPARE(panel.window->playingIndex(), playing ? selected : -1);
    QCOMPARE(panel.state().currentFileName(), playing ? paths[selected].toStdString() : std::string());
    QCOMPARE(panel.window->workersStarted(), playing ? 1 : 0);
}

void MainWindowTest::seekingMovesThePausedSong_data()
{
    QTest::addColumn<QStringList>("keys");  // on the progress slider
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("nextKey");  // of the first note-on after Play, 0 for none
    // steadySong(30) as played: note i at 500 + 250 i ms, key 50 + i % 20; 30.35 s long.
    QTest::newRow("page up: 10 / 127 of the song, 2389 ms") << QStringList{"Home", "PageUp"}
                                                           << "Paused 0:02 / 0:30" << 58;
    QTest::newRow("Right: 5 s on, the note due then") << QStringList{"Home", "Right"} << "Paused 0:05 / 0:30" << 68;
    QTest::newRow("Left before the start: the start") << QStringList{"Home", "Right", "Left", "Left"}
                                                      << "Paused 0:00 / 0:30" << 50;
    QTest::newRow("End: past the last note-on") << QStringList{"End"} << "Paused 0:30 / 0:30" << 0;
    QTest::newRow("a click at the groove's end goes there") << QStringList{"Home", "ClickEnd"} << "Paused 0:30 / 0:30" << 0;
}

void MainWindowTest::seekingMovesThePausedSong()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, label);
    QFETCH(int, nextKey);
    Panel panel(devicesWithController(2, kController));
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction") && QTest::qWaitForWindowActive(panel.window.get()));
    auto* songLabel = panel.find<QLabel>("songTimeLabel");
    QVERIFY(click(panel, "playButton"));
    QTRY_VERIFY(songLabel->text().startsWith("Playing 0:0"));
    QVERIFY(click(panel, "pauseButton"));
    QTRY_VERIFY(songLabel->text().startsWith("Paused "));
    const std::map<QString, Qt::Key> named{{"Home", Qt::Key_Home}, {"End", Qt::Key_End}, {"PageUp", Qt::Key_PageUp},
                                           {"Left", Qt::Key_Left}, {"Right", Qt::Key_Right}};
    auto* progress = panel.find<QSlider>("progressSlider");
    for (const QString& key : keys) {
        if (key == "ClickEnd") {
            QTest::mouseClick(progress, Qt::LeftButton, {}, QPoint(progress->width() - 2, progress->height() / 2));
        } else {
            QTest::keyClick(progress, named.at(key));
        }
    }
    QTRY_COMPARE(songLabel->text(), label);
    panel.service->clear();
    QVERIFY(click(panel, "playButton"));
    QTRY_VERIFY(nextKey == 0 ? !panel.window->hasWorker() : noteOnsWithVelocity(panel.messages(kController)) > 0);
    const Messages sent = panel.messages(kController);
    const auto on = std::find_if(sent.begin(), sent.end(), [](const Message& m) { return m[2] != 0; });
    QCOMPARE(on == sent.end() ? 0 : (*on)[1], nextKey);
}

void MainWindowTest::activatingAnEntryPlaysIt()
{
    Panel panel(devicesWithController(2, kController));
    const QStringList paths{song("one.mid"), song("two.mid")};
    panel.answerDialogs(paths);
    QVERIFY(trigger(panel, "openAction") && click(panel, "playButton"));
    auto* box = panel.find<QListWidget>("playlist");
    const auto bold = [box] { return QString("%1%2").arg(box->item(0)->font().bold()).arg(box->item(1)->font().bold()); };
    QCOMPARE(bold(), QString("10"));
    QTRY_COMPARE(countOf(panel.messages(kController), controlChange(7, 31)), 1);
    box->setCurrentRow(1);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(panel.state().currentFileName(), paths[1].toStdString());
    QCOMPARE(bold(), QString("01"));
    QTRY_COMPARE(countOf(panel.messages(kController), controlChange(7, 31)), 2);
    const QPoint first = box->visualItemRect(box->item(0)).center();
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, first);
    QCOMPARE(panel.state().currentFileName(), paths[0].toStdString());
    QCOMPARE(panel.window->workersStarted(), 3);
    QTRY_COMPARE(countOf(panel.messages(kController), controlChange(7, 31)), 3);
    // Playback leaves the progress slider alone while the user holds it.
    auto* slider = panel.find<QSlider>("progressSlider");
    slider->setSliderDown(true);
    const int held = slider->value();
    const int notes = noteOnsWithVelocity(panel.messages(kController));
    QTRY_VERIFY(noteOnsWithVelocity(panel.messages(kController)) > notes + 4);
    QCOMPARE(slider->value(), held);
}

void MainWindowTest::stopEndsTheWorkerAndSilencesTheCoil_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Stop button") << false;
    QTest::newRow("S anywhere") << true;
}

void MainWindowTest::stopEndsTheWorkerAndSilencesTheCoil()
{
    QFETCH(bool, byKey);
    Panel panel(devicesWithController(2, kController));
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction") && QTest::qWaitForWindowActive(panel.window.get()));
    QVERIFY(click(panel, "playButton"));
    QTRY_VERIFY(noteOnsWithVelocity(panel.messages(kController)) > 0);

    if (byKey) {
        QTest::keyClick(panel.find<QSlider>("volumeSlider"), Qt::Key_S);
    } else {
        QVERIFY(click(panel, "stopButton"));
    }
    QCOMPARE(panel.state().playing.load(), 0);
    QTRY_VERIFY(!panel.window->hasWorker());
    QVERIFY(endsSilenced(panel.messages(kController)));
    QVERIFY(!panel.service->isDeviceOpen(kController));
}

void MainWindowTest::stopWhilePausedKeepsFixedModeRefusedUntilPlay()
{
    Panel panel(devicesWithController(2, kController));
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction"));
    QVERIFY(click(panel, "playButton"));
    QVERIFY(click(panel, "pauseButton"));
    QTRY_COMPARE(panel.state().pauseStartPending.load(), 0);
    QVERIFY(click(panel, "stopButton"));
    QTRY_VERIFY(!panel.window->hasWorker());
    QCOMPARE(panel.state().paused.load(), 1);

    QVERIFY(click(panel, "fixedModeButton"));
    QCOMPARE(panel.status(), QString("Song is playing or paused, cannot enter fixed mode"));
    QVERIFY(panel.find<QDialog>("fixedModeDialog") == nullptr);

    QVERIFY(click(panel, "playButton"));
    QCOMPARE(panel.window->workersStarted(), 2);
    QCOMPARE(panel.state().paused.load(), 0);
    QCOMPARE(panel.state().playing.load(), 1);
}

void MainWindowTest::fixedModeIsRefused_data()
{
    QTest::addColumn<bool>("withController");
    QTest::addColumn<int>("transportClicks");  // 0 none, 1 Play, 2 Play then Pause
    QTest::addColumn<QString>("status");
    QTest::newRow("no controller") << false << 0 << "Error: no compatible controller found";
    QTest::newRow("playing") << true << 1 << "Song is playing or paused, cannot enter fixed mode";
    QTest::newRow("paused") << true << 2 << "Song is playing or paused, cannot enter fixed mode";
}

void MainWindowTest::fixedModeIsRefused()
{
    QFETCH(bool, withController);
    QFETCH(int, transportClicks);
    QFETCH(QString, status);
    Panel panel(devicesWithController(2, withController ? kController : -1));
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction"));
    if (transportClicks >= 1) {
        QVERIFY(click(panel, "playButton"));
        QTRY_COMPARE(countOf(panel.messages(kController), controlChange(7, 31)), 1);
    }
    if (transportClicks >= 2) {
        QVERIFY(click(panel, "pauseButton"));
    }
    QVERIFY(click(panel, "fixedModeButton"));
    QCOMPARE(panel.status(), status);
    QVERIFY(panel.find<QDialog>("fixedModeDialog") == nullptr);
    QCOMPARE(countOf(panel.messages(kController), noteOn(64, 127)), 0);
}

void MainWindowTest::selectingWhilePlayingKeepsTheCurrentFile()
{
    Panel panel(devicesWithController(2, kController));
    const QStringList paths{song("one.mid"), song("two.mid")};
    panel.answerDialogs(paths);
    QVERIFY(trigger(panel, "openAction"));
    QVERIFY(click(panel, "playButton"));

    auto* box = panel.find<QListWidget>("playlist");
    box->setCurrentRow(1);
    QCOMPARE(panel.window->playlist().selectedFile(), 1);
    QCOMPARE(panel.window->playlist().currentFile(), 0);
    QCOMPARE(panel.state().currentFileName(), paths[0].toStdString());
    QCOMPARE(panel.status(), paths[1]);
}

void MainWindowTest::volumeMovesBecomeThePendingVolume_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("volume");
    QTest::newRow("top, loudest") << 0 << 127;
    QTest::newRow("bottom, silent") << 127 << 0;
    QTest::newRow("between") << 50 << 77;
}

void MainWindowTest::volumeMovesBecomeThePendingVolume()
{
    QFETCH(int, position);
    QFETCH(int, volume);
    Panel panel(devicesWithController(1, 0));
    panel.find<QSlider>("volumeSlider")->setValue(position);
    QCOMPARE(panel.state().pendingVolume.load(), volume);
    QCOMPARE(panel.state().volumePosition.load(), position);
}

void MainWindowTest::restartIsServedByTheWorker_data()
{
    QTest::addColumn<bool>("whilePlaying");
    QTest::newRow("pressed while idle, served by the next worker") << false;
    QTest::newRow("pressed while playing") << true;
    QTest::newRow("R while playing") << true;
}

void MainWindowTest::restartIsServedByTheWorker()
{
    QFETCH(bool, whilePlaying);
    Panel panel(devicesWithController(2, kController));
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction"));
    if (whilePlaying) {
        QVERIFY(click(panel, "playButton"));
        QTRY_VERIFY(noteOnsWithVelocity(panel.messages(kController)) > 0);
    }
    if (QString(QTest::currentDataTag()).startsWith("R ")) {
        QVERIFY(QTest::qWaitForWindowActive(panel.window.get()));
        QTest::keyClick(panel.find<QListWidget>("playlist"), Qt::Key_R);
    } else {
        QVERIFY(click(panel, "restartButton"));
    }
    if (!whilePlaying) {
        // No worker yet: the request waits for the next one.
        QCOMPARE(panel.state().restartRequested.load(), 1);
        QVERIFY(click(panel, "playButton"));
    }
    QTRY_COMPARE(countOf(panel.messages(kController), kAllSoundOff), 1);
    QCOMPARE(panel.state().restartRequested.load(), 0);
    QCOMPARE(panel.window->workersStarted(), 1);
}

void MainWindowTest::sessionReportsReachTheStatusBar_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("status");
    const QString text = writeText(m_dir, "notes.mid", "hello, not a song\n");
    QTest::newRow("not a MIDI file") << text << QString("File: %1 is not a MIDI file").arg(text);
    const QString otherChannel = writeFile(m_dir, "channel5.mid", steadySong(2, 5));
    QTest::newRow("no notes on the channel") << otherChannel << "No notes found on channel 0!";
}

void MainWindowTest::sessionReportsReachTheStatusBar()
{
    QFETCH(QString, file);
    QFETCH(QString, status);
    Panel panel(devicesWithController(2, kController));
    panel.answerDialogs({}, file);
    QVERIFY(trigger(panel, "addAction"));
    QVERIFY(click(panel, "playButton"));
    QTRY_COMPARE(panel.status(), status);
    QTRY_VERIFY(!panel.window->hasWorker());
    QCOMPARE(panel.state().playing.load(), 0);
    QVERIFY(panel.messages(kController).empty());
}

void MainWindowTest::songRunsToItsEndAndTheWorkerIsJoined()
{
    Panel panel(devicesWithController(2, kController));
    SmfBuilder shortSong(0, 500);
    shortSong.track().noteOn(0, 0, 60, 90).noteOff(200, 0, 60).end();
    panel.answerDialogs({}, writeFile(m_dir, "short.mid", shortSong.bytes()));
    QVERIFY(trigger(panel, "addAction"));
    QVERIFY(click(panel, "playButton"));

    QTRY_VERIFY(!panel.window->hasWorker());
    QCOMPARE(panel.state().playing.load(), 0);
    QTRY_COMPARE(panel.find<QSlider>("progressSlider")->value(), 127);
    QCOMPARE(panel.messages(kController),
             (Messages{controlChange(7, 31), noteOn(60, 90), noteOn(60, 0), kAllSoundOff, kAllNotesOff}));

    // Nothing is left running: fixed mode may start at once.
    QVERIFY(click(panel, "fixedModeButton"));
    auto* dialog = panel.find<QDialog>("fixedModeDialog");
    QVERIFY(dialog);
    dialog->accept();
}

void MainWindowTest::closingStopsPlayback_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Exit button") << "exitButton";
    QTest::newRow("File, Exit") << "exitAction";
    QTest::newRow("close box") << "";
}

void MainWindowTest::closingStopsPlayback()
{
    QFETCH(QString, how);
    Panel panel(devicesWithController(2, kController));
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction"));
    QVERIFY(click(panel, "playButton"));
    QTRY_VERIFY(noteOnsWithVelocity(panel.messages(kController)) > 0);

    if (how == "exitButton") {
        QVERIFY(click(panel, "exitButton"));
    } else if (how == "exitAction") {
        QVERIFY(trigger(panel, "exitAction"));
    } else {
        QVERIFY(panel.window->close());
    }
    QVERIFY(!panel.window->isVisible());
    QCOMPARE(panel.state().playing.load(), 0);
    QVERIFY2(!panel.window->hasWorker(), "the window joins its worker when it closes");
    QVERIFY(endsSilenced(panel.messages(kController)));
}

void MainWindowTest::stopThenPlayInOneTurnLeavesTheNewWorkerPlaying()
{
    Panel panel(devicesWithController(2, kController));
    panel.answerDialogs({}, song("short.mid", 3));
    QVERIFY(trigger(panel, "addAction"));
    QVERIFY(click(panel, "playButton"));
    QTRY_VERIFY(noteOnsWithVelocity(panel.messages(kController)) > 0);

    // Both in one turn of the event loop: the first worker's end report is
    // delivered while the second one plays, and must leave it alone.
    panel.find<QPushButton>("stopButton")->click();
    panel.find<QPushButton>("playButton")->click();
    QCOMPARE(panel.window->workersStarted(), 2);
    QCoreApplication::processEvents();
    QVERIFY2(panel.window->hasWorker(), "the new worker was joined on the GUI thread");
    QCOMPARE(panel.state().playing.load(), 1);
    QTRY_COMPARE(countOf(panel.messages(kController), controlChange(7, 31)), 2);
}

void MainWindowTest::leavingAWorkerThatReadsStopsTheReadFirst_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Stop then Play") << "stopThenPlay";
    QTest::newRow("closing the window") << "close";
}

void MainWindowTest::leavingAWorkerThatReadsStopsTheReadFirst()
{
    QFETCH(QString, how);
    SlowFirstRead slowRead;
    Panel panel(devicesWithController(2, kController));
    panel.window->setSongLoader(slowRead.loader());
    panel.answerDialogs({}, song("long.mid"));
    QVERIFY(trigger(panel, "addAction"));
    // Finding the controller opened it once for its name.
    const int opensBefore = openRecords(*panel.service, kController);
    QVERIFY(click(panel, "playButton"));
    QTRY_VERIFY(slowRead.reading());

    if (how == "close") {
        QVERIFY(panel.window->close());
        QVERIFY(!panel.window->hasWorker());
        QVERIFY2(slowRead.releasedByStop(), "the window joined a reading worker without stopping it");
        QCOMPARE(openRecords(*panel.service, kController), opensBefore);
        return;
    }
    panel.find<QPushButton>("stopButton")->click();
    panel.find<QPushButton>("playButton")->click();
    QVERIFY2(slowRead.releasedByStop(), "Play joined a reading worker without stopping it");
    QCOMPARE(panel.window->workersStarted(), 2);
    // Only the second worker opens the controller and plays.
    QTRY_VERIFY(noteOnsWithVelocity(panel.messages(kController)) > 0);
    QCOMPARE(openRecords(*panel.service, kController), opensBefore + 1);
    QCOMPARE(panel.messages(kController).front(), controlChange(7, 31));
}

void MainWindowTest::controllerTroubleIsSaidAndTheNextPlayLooksAgain_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<QString>("status");  // what the trouble shows
    QTest::addColumn<int>("port");        // where the next Play plays
    QTest::newRow("open fails") << "open fails" << "Error: cannot open the controller" << 1;
    QTest::newRow("gone mid-song") << "gone" << "Error: lost the connection to the controller" << 1;
    QTest::newRow("plugged in after start") << "late" << "Error: no compatible controller found" << 2;
}

void MainWindowTest::controllerTroubleIsSaidAndTheNextPlayLooksAgain()
{
    QFETCH(QString, trouble);
    QFETCH(QString, status);
    QFETCH(int, port);
    Panel panel(devicesWithController(2, trouble == "late" ? -1 : 1));
    panel.answerDialogs({}, song("song.mid"));
    QVERIFY(trigger(panel, "addAction"));
    if (trouble == "open fails") {
        panel.service->failOpen(1, true);
        QVERIFY(click(panel, "playButton"));
    } else if (trouble == "gone") {
        QVERIFY(click(panel, "playButton"));
        QTRY_COMPARE(countOf(panel.messages(1), controlChange(7, 31)), 1);
        panel.service->setSendError(1, kSendDeviceGone);
    } else {
        QVERIFY(click(panel, "playButton"));
    }
    QTRY_COMPARE(panel.status(), status);
    QTRY_VERIFY(!panel.window->hasWorker());
    QCOMPARE(panel.state().playing.load(), 0);

    // Back (or there at last): the next Play finds it and plays there.
    panel.service->failOpen(1, false);
    panel.service->setSendError(1, 0);
    if (trouble == "late") {
        panel.service->addDevice(kControllerName);
    }
    panel.service->clear();
    QVERIFY(click(panel, "playButton"));
    QCOMPARE(panel.status(), QString("Found Quillarc USB controller on port %1").arg(port));
    QTRY_COMPARE(countOf(panel.messages(port), controlChange(7, 31)), 1);
    QCOMPARE(panel.state().playing.load(), 1);
}

void MainWindowTest::silenceCoilStopsTheSongAndResetsEveryChannel_data()
{
    QTest::addColumn<bool>("playing");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QString>("focus");  // where the focus is before F10 opens the menu; empty: no menu
    QTest::newRow("nothing plays, from the menu") << false << false << "";
    QTest::newRow("mid-song, Escape") << true << true << "";
    QTest::newRow("after F10 and Escape closed the menu") << true << true << "playlist";
    QTest::newRow("the same from the volume slider") << false << true << "volumeSlider";
}

void MainWindowTest::silenceCoilStopsTheSongAndResetsEveryChannel()
{
    QFETCH(bool, playing);
    QFETCH(bool, byKey);
    QFETCH(QString, focus);
    Panel panel(devicesWithController(3, kController));
    if (playing) {
        panel.answerDialogs({}, song("song.mid"));
        QVERIFY(trigger(panel, "addAction"));
        QVERIFY(click(panel, "playButton"));
        QTRY_COMPARE(countOf(panel.messages(kController), controlChange(7, 31)), 1);
    }
    panel.service->clear();
    if (byKey) {
        QVERIFY(QTest::qWaitForWindowActive(panel.window.get()));
        panel.find<QWidget>(focus.isEmpty() ? "playlist" : focus.toLatin1().constData())->setFocus();
        if (!focus.isEmpty()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
            QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
            QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
            QCOMPARE(panel.messages(kController), Messages{});
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    } else {
        QVERIFY(trigger(panel, "silenceAction"));
    }
    QCOMPARE(panel.status(), QString("Coil silenced"));
    QCOMPARE(panel.state().playing.load(), 0);
    QVERIFY(!panel.window->hasWorker());
    Messages reset;
    for (int channel = 0; channel < 16; ++channel) {
        for (const int controller : {64, 120, 123}) {
            reset.push_back({static_cast<std::uint8_t>(0xB0 + channel), static_cast<std::uint8_t>(controller), 0});
        }
    }
    Messages expected = playing ? Messages{kAllSoundOff, kAllNotesOff} : Messages{};
    expected.insert(expected.end(), reset.begin(), reset.end());
    QCOMPARE(panel.messages(kController), expected);
    QVERIFY(!panel.service->isDeviceOpen(kController));
}

void MainWindowTest::panicResetsEveryCoilOfTheRigAndTheControllerDespiteAMissingOne()
{
    Panel panel({"Lead Coil", "Synth 1", kControllerName, "Bass Coil"}, std::nullopt,
                "[coil Lead]\ndevice = Lead Coil\nchannels = 0\n[coil Gone]\ndevice = Gone Coil\nchannels = 1\n"
                "[coil Bass]\ndevice = Bass Coil\nchannels = 2\n");
    QCOMPARE(panel.status(), QString("Found 2 of 3 coils: coil Gone not found (Gone Coil)"));
    panel.service->clear();
    QVERIFY(trigger(panel, "silenceAction"));
    QCOMPARE(panel.status(), QString("Error: coil Gone not found (Gone Coil)"));
    Messages reset;
    for (int at = 0; at < 48; ++at) {
        reset.push_back({static_cast<std::uint8_t>(0xB0 + at / 3), std::array<std::uint8_t, 3>{64, 120, 123}[at % 3], 0});
    }
    QVERIFY(panel.messages(0) == reset && panel.messages(2) == reset && panel.messages(3) == reset);
    QCOMPARE(panel.messages(1), Messages{});
}

// The filled part of the groove is the loudness: from the handle down.
void MainWindowTest::volumeSliderFillsBelowItsHandle()
{
    Panel panel(devicesWithController(1, 0));
    auto* volume = panel.find<QSlider>("volumeSlider");
    const auto middle = [volume](int position) {
        volume->setValue(position);
        const QImage picture = volume->grab().toImage();
        return picture.pixelColor(picture.width() / 2, picture.height() / 2);
    };
    const QColor loud = middle(3);
    const QColor silent = middle(124);
    const QColor fill = volume->palette().color(QPalette::Highlight);
    const auto distance = [&fill](const QColor& color) {
        return std::abs(color.red() - fill.red()) + std::abs(color.green() - fill.green()) +
               std::abs(color.blue() - fill.blue());
    };
    QVERIFY2(distance(loud) < distance(silent),
             qPrintable(QString("loud %1, silent %2, fill %3").arg(loud.name(), silent.name(), fill.name())));
}

void MainWindowTest::aboutDialogShowsTheProgramName()
{
    Panel panel(devicesWithController(1, 0));
    QVERIFY(trigger(panel, "aboutAction"));
    auto* dialog = panel.find<QDialog>("aboutDialog");
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QString("About..."));
    QCOMPARE(dialog->findChild<QLabel*>("aboutText")->text(), QString("Quillarc Control Panel"));
    QCOMPARE(dialog->findChild<QLabel*>("aboutVersion")->text(), QString("Version " QUILLARC_EXPECTED_VERSION));
    QTest::mouseClick(dialog->findChild<QPushButton*>("okButton"), Qt::LeftButton);
    QTRY_VERIFY(panel.find<QDialog>("aboutDialog") == nullptr);
    // Escape closes it too, and only it: the coil is not silenced.
    QVERIFY(trigger(panel, "aboutAction"));
    panel.service->clear();
    QTest::keyClick(panel.find<QDialog>("aboutDialog"), Qt::Key_Escape);
    QTRY_VERIFY(panel.find<QDialog>("aboutDialog") == nullptr);
    QVERIFY(panel.messages(0).empty());
}

// steadySong(3)'s last note ends at 500 + 11 x 250 + 100 = 3350 ms.
void MainWindowTest::playlistRowsShowNamesAndLengthsAndGreyAFileThatHasGone()
{
    Panel panel(devicesWithController(2, kController));
    const QString gone = m_dir.filePath("gone.mid");
    panel.answerDialogs({song("three.mid", 3), gone});
    QVERIFY(trigger(panel, "openAction"));
    auto* box = panel.find<QListWidget>("playlist");
    QTRY_COMPARE(box->item(0)->text(), QString("three.mid (0:03)"));
    QCOMPARE(box->item(1)->text(), QString("gone.mid"));
    QCOMPARE(box->item(1)->toolTip(), gone);
    QCOMPARE(box->item(1)->foreground().color(), box->palette().color(QPalette::Disabled, QPalette::Text));
    QCOMPARE(box->item(0)->foreground().style(), Qt::NoBrush);
    // Its length is that of the channel played: none on channel 1.
    panel.find<QAction>("optionsAction")->trigger();
    auto* channel = panel.window->findChild<QLineEdit*>("channelEdit");
    QVERIFY(channel != nullptr);
    channel->setText("1");
    panel.window->findChild<QPushButton*>("okButton")->click();
    QTRY_COMPARE(box->item(0)->text(), QString("three.mid"));
}

// Three songs, the first playing: moved, removed around it, then itself.
void MainWindowTest::playlistEditsKeepThePlayingSongAndItsPlace()
{
    Panel panel(devicesWithController(2, kController));
    const QStringList paths{song("a.mid"), song("b.mid"), song("c.mid")};
    panel.answerDialogs(paths);
    QVERIFY(trigger(panel, "openAction") && click(panel, "playButton") && QTest::qWaitForWindowActive(panel.window.get()));
    auto* box = panel.find<QListWidget>("playlist");
    const auto key = [box](Qt::Key pressed, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(box, pressed, modifiers); };
    box->setCurrentRow(2);
    key(Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(boxLines(panel), (QStringList{paths[0], paths[2], paths[1]}));
    QCOMPARE(panel.window->playlist().selectedFile(), 1);
    key(Qt::Key_Delete);
    QCOMPARE(boxLines(panel), (QStringList{paths[0], paths[1]}));
    QCOMPARE(panel.window->playlist().selectedFile(), 1);
    box->setCurrentRow(0);
    key(Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(*panel.state().playlist(), (std::vector<std::string>{paths[1].toStdString(), paths[0].toStdString()}));
    QCOMPARE(std::pair(panel.state().playingIndex.load(), panel.window->playingIndex()), std::pair(1, 1));
    QVERIFY(box->item(1)->font().bold());
    key(Qt::Key_Delete);
    QCOMPARE(std::pair(panel.state().playingIndex.load(), panel.window->playingIndex()), std::pair(-1, -1));
    QCOMPARE(panel.state().playing.load(), 1);
    QVERIFY(trigger(panel, "clearAction"));
    QCOMPARE(boxLines(panel), QStringList{"No files selected"});
    QVERIFY(!panel.window->playlist().fileLoaded());
}

void MainWindowTest::savedPlaylistLoadsInTheSameOrder()
{
    Panel panel(devicesWithController(2, kController));
    const QStringList paths{song("b.mid"), song("a.mid"), m_dir.filePath("gone.mid")};
    const QString list = m_dir.filePath("lists/mine.m3u");
    QVERIFY(QDir(m_dir.path()).mkpath("lists"));
    panel.answerDialogs(paths, {}, {}, list);
    QVERIFY(trigger(panel, "openAction") && trigger(panel, "savePlaylistAction"));
    QCOMPARE(panel.status(), "Saved " + list);
    QVERIFY(trigger(panel, "clearAction") && trigger(panel, "loadPlaylistAction"));
    QCOMPARE(boxLines(panel), paths);
    QCOMPARE(panel.status(), QString("Loaded "));
}

void MainWindowTest::closedPanelComesBackAsItWasLeft()
{
    Panel panel(devicesWithController(2, kController));
    const QStringList paths{song("a.mid"), m_dir.filePath("gone.mid"), song("c.mid")};
    panel.answerDialogs(paths);
    QVERIFY(trigger(panel, "openAction") && trigger(panel, "wholePlaylistAction") && trigger(panel, "repeatPlaylistAction"));
    panel.find<QListWidget>("playlist")->setCurrentRow(2);
    panel.find<QSlider>("volumeSlider")->setValue(50);
    panel.window->resize(661, 333);
    QVERIFY(trigger(panel, "notesAction"));
    QTRY_VERIFY(panel.find<QDialog>("notesWindow") != nullptr);
    panel.find<QDialog>("notesWindow")->resize(700, 400);
    QVERIFY(panel.window->close());

    panel.window = std::make_unique<MainWindow>(*panel.context);
    panel.window->restorePanel(readPanelSettings());
    panel.window->show();
    QCOMPARE(boxLines(panel), paths);
    QCOMPARE(panel.window->playlist().selectedFile(), 2);
    QCOMPARE(panel.find<QListWidget>("playlist")->currentRow(), 2);
    QCOMPARE(std::pair(panel.find<QSlider>("volumeSlider")->value(), panel.find<QLabel>("volumeValue")->text()),
             std::pair(50, QString("77")));
    QCOMPARE(panel.state().pendingVolume.load(), -1);
    QVERIFY(panel.find<QAction>("wholePlaylistAction")->isChecked() && panel.find<QAction>("repeatPlaylistAction")->isChecked());
    QCOMPARE(std::pair(panel.state().wholePlaylist.load(), panel.state().repeatPlaylist.load()), std::pair(1, 1));
    QCOMPARE(panel.window->size(), QSize(661, 333));
    QTRY_VERIFY(panel.find<QDialog>("notesWindow") != nullptr);
    QCOMPARE(panel.find<QDialog>("notesWindow")->size(), QSize(700, 400));
    QVERIFY(panel.find<QDialog>("spectrumWindow") == nullptr);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
