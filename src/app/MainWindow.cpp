#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/AppContext.h"
#include "app/GuiReporter.h"
#include "app/LiveInputDialog.h"
#include "app/LiveRefusal.h"
#include "app/StatusTexts.h"
#include "app/Transport.h"
#include "app/VolumeSlider.h"
#include "coilmodel/CoilLimitsFile.h"
#include "fixed/FixedModeDialog.h"
#include "fixed/OptionsDialog.h"
#include "midiin/MidiInputService.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "playback/PlaybackThread.h"
#include "playback/PlaylistRun.h"
#include "views/AnalysisMakers.h"
#include "views/AnalysisWindows.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>

// Resources live in the static library: register them before first use.
static void initResources()
{
    Q_INIT_RESOURCE(quillarc);
}

namespace {

constexpr int kSliderHighest = 127;
constexpr const char* kMidiFilters = "MIDI Files (*.mid);;All Files (*.*)";
// Left and Right seek this far back and forward.
constexpr int kSeekStepMs = 5000;
// The playhead of the analysis windows moves this often.
constexpr int kPlayheadIntervalMs = 200;

QStringList chooseMidiFiles(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(kMidiFilters);
    dialog.setDefaultSuffix("mid");
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

QString chooseMidiFile(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(kMidiFilters);
    dialog.setDefaultSuffix("mid");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

// An icon button: its name is what a screen reader says, the tip adds the key.
QPushButton* transportButton(QWidget* parent, const char* name, const QString& accessibleName, const QString& tip,
                             QStyle::StandardPixmap icon)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(24, 24));
    button->setToolTip(tip);
    button->setAccessibleName(accessibleName);
    button->setFocusPolicy(Qt::TabFocus);
    // Space is play/pause everywhere: Enter presses the button that has the focus.
    button->setAutoDefault(true);
    return button;
}

// `text` with a mnemonic: the first letter of a word that no other entry of
// its menu has taken, else any such letter; unchanged when it has one.
QString withMnemonic(const QString& text, QSet<QChar>& taken)
{
    for (const bool initialsOnly : {true, false}) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar letter = text[i].toLower();
            const bool initial = i == 0 || text[i - 1] == ' ';
            if (text[i].isLetter() && (initial || !initialsOnly) && !taken.contains(letter)) {
                taken.insert(letter);
                return QString(text).insert(i, '&');
            }
        }
    }
    return text;
}

void giveMnemonicsTo(const QList<QAction*>& actions)
{
    QSet<QChar> taken;
    for (const QAction* action : actions) {
        const qsizetype at = action->text().indexOf('&');
        if (at >= 0 && at + 1 < action->text().size()) {
            taken.insert(action->text()[at + 1].toLower());
        }
    }
    for (QAction* action : actions) {
        if (!action->isSeparator() && !action->text().contains('&')) {
            action->setText(withMnemonic(action->text(), taken));
        }
    }
}

}  // namespace

MainWindow::MainWindow(AppContext& context, QWidget* parent)
    : QMainWindow(parent),
      m_context(context),
      m_fileDialogs{chooseMidiFiles, chooseMidiFile, {}},
      m_playback([this] { m_context.state.requestStop(); })
{
    initResources();
    setObjectName("mainWindow");
    setWindowTitle("Quillarc Control Panel");

    m_reporter = std::make_unique<GuiReporter>(GuiReporter::Handlers{
        [this](const QString& text) { showStatus(text); },
        [this](int position) {
            // Not under the user's hand: a drag goes where the user takes it.
            if (!m_progressSlider->isSliderDown()) {
                m_progressSlider->setValue(position);
            }
        },
        [this](std::uint64_t generation) { workerFinished(generation); },
        [this] { m_controllerLost = true; },
        [this](int index) { nowPlaying(index); },
        [this](int totalMs) { songStarted(totalMs); },
        [this](int elapsedMs) { songTime(elapsedMs); },
    });
    m_monotonic.start();

    statusBar()->setObjectName("statusBar");
    m_context.state.controllerPort.store(findController());
    showStatus(QString::fromStdString(controllerStatusText(m_context.state.controllerPort.load())));
    setWindowIcon(QIcon(":/icons/quillarc.xpm"));

    buildMenus();
    buildControls();
    buildPlaybackMenu();
    buildShortcuts();
    giveMnemonics();
    connectProgressSeek();
    setAcceptDrops(true);
}

MainWindow::~MainWindow()
{
    shutDown();
}

void MainWindow::setFileDialogs(FileDialogs dialogs)
{
    m_fileDialogs = std::move(dialogs);
}

void MainWindow::setSongLoader(SongLoad load)
{
    m_songLoader = std::move(load);
}

void MainWindow::buildMenus()
{
    QMenu* fileMenu = menuBar()->addMenu("File");
    fileMenu->setObjectName("fileMenu");
    QAction* openAction = fileMenu->addAction("Open...", this, &MainWindow::openFiles);
    openAction->setObjectName("openAction");
    QAction* addAction = fileMenu->addAction("Add...", this, &MainWindow::addFile);
    addAction->setObjectName("addAction");
    fileMenu->addSeparator();
    QAction* exitAction = fileMenu->addAction("Exit", this, &QWidget::close);
    exitAction->setObjectName("exitAction");

    m_toolsMenu = menuBar()->addMenu("Tools");
    m_toolsMenu->setObjectName("toolsMenu");
    buildAnalysisMenu();
    m_optionsAction = m_toolsMenu->addAction("Options...", this, &MainWindow::openOptions);
    m_optionsAction->setObjectName("optionsAction");
    QAction* liveAction = m_toolsMenu->addAction("Live Input...", this, &MainWindow::openLiveInput);
    liveAction->setObjectName("liveAction");
    liveAction->setShortcut(Qt::CTRL | Qt::Key_L);
    m_toolsMenu->addSeparator();
    QAction* silenceAction = m_toolsMenu->addAction("Silence coil", this, &MainWindow::silenceCoil);
    silenceAction->setObjectName("silenceAction");
    silenceAction->setShortcut(Qt::Key_Escape);
    // Escape works wherever the focus is in the window, not only in its menu.
    silenceAction->setShortcutContext(Qt::WindowShortcut);
    QWidget::addAction(silenceAction);

    QMenu* helpMenu = menuBar()->addMenu("Help");
    helpMenu->setObjectName("helpMenu");
    QAction* aboutAction = helpMenu->addAction("About...", this, &MainWindow::openAbout);
    aboutAction->setObjectName("aboutAction");
}

void MainWindow::buildAnalysisMenu()
{
    m_analysis = new AnalysisWindows(analysisMakers(panelDiagnostics()), [this] { return panelSelection(); }, this);
    const std::array entries{
        std::tuple{"Spectrum...", "spectrumAction", ChartKind::Spectrum},
        std::tuple{"View notes...", "notesAction", ChartKind::Notes},
        std::tuple{"Duty Cycles...", "dutyAction", ChartKind::Duty},
    };
    for (const auto& [text, name, kind] : entries) {
        QAction* action = m_toolsMenu->addAction(text, this, [this, kind = kind] { m_analysis->open(kind); });
        action->setObjectName(name);
    }
}

PanelSelection MainWindow::panelSelection() const
{
    PanelSelection selection;
    const int selected = m_playlist.selectedFile();
    selection.fileLoaded = m_playlist.fileLoaded() && selected < m_playlist.fileCount();
    selection.selectedIndex = selected;
    if (selection.fileLoaded) {
        selection.path = m_playlist.path(selected);
    }
    selection.options = m_context.options;
    return selection;
}

void MainWindow::buildControls()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    auto* playButton = transportButton(central, "playButton", "Play", "Play (Space)", QStyle::SP_MediaPlay);
    auto* pauseButton = transportButton(central, "pauseButton", "Pause", "Pause (Space)", QStyle::SP_MediaPause);
    auto* stopButton = transportButton(central, "stopButton", "Stop", "Stop", QStyle::SP_MediaStop);
    auto* restartButton = transportButton(central, "restartButton", "Restart", "Restart from the beginning",
                                          QStyle::SP_MediaSkipBackward);
    auto* nextButton = transportButton(central, "nextButton", "Next", "Next file (N)", QStyle::SP_MediaSkipForward);
    auto* fixedModeButton = new QPushButton("Fixed Mode", central);
    fixedModeButton->setObjectName("fixedModeButton");
    auto* exitButton = new QPushButton("Exit", central);
    exitButton->setObjectName("exitButton");
    for (QPushButton* button : {fixedModeButton, exitButton}) {
        button->setAutoDefault(true);
    }

    // Position 0 at the top: the top is loudest.
    m_volumeSlider = new VolumeSlider(central);
    m_volumeSlider->setObjectName("volumeSlider");
    m_volumeSlider->setRange(0, kSliderHighest);
    m_volumeSlider->setValue(m_context.state.volumePosition.load());
    m_volumeSlider->setToolTip("Volume");
    m_volumeSlider->setAccessibleName("Volume");
    auto* volumeLabel = new QLabel("Volume", central);
    volumeLabel->setObjectName("volumeLabel");
    volumeLabel->setAlignment(Qt::AlignHCenter);

    m_progressSlider = new QSlider(Qt::Horizontal, central);
    m_progressSlider->setObjectName("progressSlider");
    m_progressSlider->setRange(0, kSliderHighest);
    m_progressSlider->setToolTip("Progress: drag to seek (Left and Right: 5 s)");
    m_progressSlider->setAccessibleName("Progress");

    m_playlistBox = new QListWidget(central);
    m_playlistBox->setObjectName("playlist");
    m_playlistBox->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const Playlist::Line& line : m_playlist.lines()) {
        auto* item = new QListWidgetItem(QString::fromStdString(line.text), m_playlistBox);
        item->setData(Qt::UserRole, line.index);
    }

    auto* volumeColumn = new QVBoxLayout;
    volumeColumn->addWidget(volumeLabel);
    volumeColumn->addWidget(m_volumeSlider, 1, Qt::AlignHCenter);

    auto* transportRow = new QHBoxLayout;
    for (QPushButton* button : {playButton, pauseButton, stopButton, restartButton, nextButton}) {
        transportRow->addWidget(button);
    }
    transportRow->addStretch();
    transportRow->addWidget(fixedModeButton);
    transportRow->addWidget(exitButton);

    auto* mainColumn = new QVBoxLayout;
    mainColumn->addWidget(m_playlistBox, 1);
    mainColumn->addWidget(m_progressSlider);
    mainColumn->addLayout(transportRow);

    auto* layout = new QHBoxLayout(central);
    layout->addLayout(volumeColumn);
    layout->addLayout(mainColumn, 1);

    connect(playButton, &QPushButton::clicked, this, &MainWindow::play);
    connect(pauseButton, &QPushButton::clicked, this, &MainWindow::pause);
    connect(stopButton, &QPushButton::clicked, this, &MainWindow::stop);
    connect(restartButton, &QPushButton::clicked, this, &MainWindow::restart);
    connect(nextButton, &QPushButton::clicked, this, [this] { step(1); });
    connect(fixedModeButton, &QPushButton::clicked, this, &MainWindow::openFixedMode);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    // Connected after the initial position is set: only moves are sent.
    connect(m_volumeSlider, &QSlider::valueChanged, this,
            [this](int position) { m_context.state.moveVolume(position); });
    connect(m_playlistBox, &QListWidget::itemSelectionChanged, this, &MainWindow::playlistSelectionChanged);
    connect(m_playlistBox, &QListWidget::itemActivated, this, &MainWindow::playEntry);

    m_songLabel = new QLabel(this);
    m_songLabel->setObjectName("songTimeLabel");
    statusBar()->addPermanentWidget(m_songLabel);
    m_playheadTimer = new QTimer(this);
    m_playheadTimer->setInterval(kPlayheadIntervalMs);
    connect(m_playheadTimer, &QTimer::timeout, this, &MainWindow::movePlayhead);

    resize(520, 320);
}

bool MainWindow::event(QEvent* event)
{
    // The status bar shows the program's messages only; hovering over a menu
    // entry must not wipe them.
    if (event->type() == QEvent::StatusTip) {
        return true;
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    shutDown();
    QMainWindow::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    std::optional<QString> refusal;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        } else {
            refusal = QString("Error: not a local file ") + url.toDisplayString();
        }
    }
    dropFiles(paths);
    if (refusal) {
        showStatus(*refusal);
    }
    event->acceptProposedAction();
}

void MainWindow::appendFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        appendToPlaylist(path);
    }
}

void MainWindow::dropFiles(const QStringList& paths)
{
    std::optional<QString> refusal;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            refusal = QString("Error: cannot open file ") + path;
        } else if (!info.isFile()) {
            refusal = QString("Error: not a regular file ") + path;
        } else {
            appendToPlaylist(path);
        }
    }
    // After "Loaded ": what was refused is the news.
    if (refusal) {
        showStatus(*refusal);
    }
}

void MainWindow::showStatus(const QString& text)
{
    statusBar()->showMessage(text);
}

void MainWindow::openFiles()
{
    // Cancelling keeps the playlist as it was: the box must go on showing
    // what Play plays.
    const QStringList paths = m_fileDialogs.openFiles(this);
    if (paths.isEmpty()) {
        return;
    }
    m_playlist.clearLines();
    m_playlistBox->clear();
    showStatus(kLoadedText);
    std::vector<std::string> chosen;
    chosen.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) {
        chosen.push_back(path.toStdString());
    }
    m_playlist.replace(std::move(chosen));
    for (const Playlist::Line& line : m_playlist.lines()) {
        auto* item = new QListWidgetItem(QString::fromStdString(line.text), m_playlistBox);
        item->setData(Qt::UserRole, line.index);
    }
    sharePlaylist();
    // The song that plays on is not one of the new entries.
    m_playingIndex = -1;
    m_analysis->selectionChanged();
}

void MainWindow::addFile()
{
    const QString path = m_fileDialogs.addFile(this);
    if (!path.isEmpty()) {
        appendToPlaylist(path);
    }
}

void MainWindow::appendToPlaylist(const QString& path)
{
    showStatus(kLoadedText);
    if (m_playlist.append(path.toStdString())) {
        m_playlistBox->clear();
    }
    const Playlist::Line& line = m_playlist.lines().back();
    auto* item = new QListWidgetItem(QString::fromStdString(line.text), m_playlistBox);
    item->setData(Qt::UserRole, line.index);
    sharePlaylist();
    m_analysis->selectionChanged();
}

void MainWindow::sharePlaylist()
{
    m_context.state.setPlaylist(m_playlist.paths());
}

void MainWindow::playlistSelectionChanged()
{
    const QList<QListWidgetItem*> selected = m_playlistBox->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    if (const auto path = m_playlist.selectLine(m_playlistBox->row(selected.constFirst()))) {
        showStatus(QString::fromStdString(*path));
    }
    m_analysis->selectionChanged();
}

// Play and Fixed Mode alike: refused while live input runs (with `liveText`)
// or while the coil limits file cannot be read (with its error).
bool MainWindow::refusedWhileLiveOrLimitsBad(const char* liveText)
{
    if (m_liveDialog) {
        showStatus(liveText);
        return true;
    }
    if (m_context.limitsFileError) {
        showStatus(QString::fromStdString(*m_context.limitsFileError));
        return true;
    }
    return false;
}

void MainWindow::play()
{
    if (refusedWhileLiveOrLimitsBad(kLiveBusyPlayText)) {
        return;
    }
    if (m_context.state.playing.load() == 0 && m_playlist.fileLoaded()) {
        stopAndJoinWorker();
        ensureController();
    }
    const PlayStep step = decidePlay(m_context.state, m_playlist);
    switch (step) {
    case PlayStep::RefuseNoFile:
    case PlayStep::RefuseNoController:
        showStatus(QString::fromStdString(*playRefusalText(step)));
        break;
    case PlayStep::Resume:
        m_context.state.requestResume();
        followPause();
        break;
    case PlayStep::Ignore:
        break;
    case PlayStep::StartWorker:
        stopAndJoinWorker();
        beginPlayback(m_context.state, m_playlist, m_context.options);
        startWorker();
        markPlaying(m_playlist.currentFile());
        break;
    }
}

void MainWindow::pause()
{
    m_context.state.requestPause();
    followPause();
}

void MainWindow::stop()
{
    m_context.state.requestStop();
}

void MainWindow::restart()
{
    m_context.state.requestRestart();
}

void MainWindow::togglePlayPause()
{
    if (m_context.state.playing.load() != 0 && m_context.state.paused.load() == 0) {
        pause();
    } else {
        play();
    }
}

void MainWindow::silenceCoil()
{
    // A song first, as Stop ends it: its worker silences and closes the
    // device, and nothing it sends can follow the panic.
    stopAndJoinWorker();
    if (!ensureController()) {
        showStatus(kNoControllerText);
        return;
    }
    if (!silenceDevice(m_context.state.controllerPort.load())) {
        m_controllerLost = true;
        showStatus(kCannotOpenControllerText);
        return;
    }
    showStatus(kCoilSilencedText);
}

bool MainWindow::ensureController()
{
    if (m_context.state.controllerPort.load() < 0 || m_controllerLost) {
        // Fixed mode leaves its port open; on a device that has gone it
        // would keep the devices from being counted again.
        m_context.fixedModeOutput().closePort();
        const int port = findControllerAfresh();
        m_context.state.controllerPort.store(port);
        m_controllerLost = false;
        if (port >= 0) {
            showStatus(QString::fromStdString(controllerStatusText(port)));
        }
    }
    return m_context.state.controllerPort.load() >= 0;
}

void MainWindow::openFixedMode()
{
    if (refusedWhileLiveOrLimitsBad(kLiveBusyFixedText)) {
        return;
    }
    if (m_context.state.playing.load() == 0 && m_context.state.paused.load() == 0) {
        stopAndJoinWorker();
        ensureController();
    }
    if (const auto refusal = fixedModeRefusal(m_context.state)) {
        showStatus(QString::fromStdString(*refusal));
        return;
    }
    // A worker that ran out of notes may still be closing its output.
    stopAndJoinWorker();
    auto* dialog = new FixedModeDialog(m_context.state, m_context.fixedModeOutput(), *m_reporter, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_fixedModeDialog = dialog;
    dialog->open();
}

void MainWindow::openLiveInput()
{
    if (m_context.limitsFileError) {
        showStatus(QString::fromStdString(*m_context.limitsFileError));
        return;
    }
    if (m_context.state.playing.load() == 0 && m_context.state.paused.load() == 0) {
        stopAndJoinWorker();
        ensureController();
    }
    if (const auto refusal = liveModeRefusal(m_context.state, midiInputs().deviceCount())) {
        showStatus(QString::fromStdString(*refusal));
        return;
    }
    // A worker that ran out of notes may still be closing its output.
    stopAndJoinWorker();
    m_context.state.setOptions(m_context.options);
    auto* dialog = new LiveInputDialog(m_context.state, *m_reporter, midiInputs(), m_volumeSlider->value(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_liveDialog = dialog;
    dialog->open();
}

void MainWindow::openOptions()
{
    auto* dialog = new OptionsDialog(m_context.options, m_fileDialogs.curveFile, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Running playback reads the curve settings as they change.
    connect(dialog, &OptionsDialog::optionsChanged, this,
            [this] {
                m_context.state.setOptions(m_context.options);
                m_analysis->selectionChanged();
            });
    // The limits belong to the coil, so they are kept for the next run; a
    // file that could not be read is replaced by what was accepted.
    connect(dialog, &QDialog::accepted, this, [this] {
        std::string error;
        if (writeCoilLimits(coilLimitsPath(), m_context.options.coilLimits, error)) {
            m_context.limitsFileError.reset();
        } else {
            showStatus(QString::fromStdString(error));
        }
    });
    m_analysis->channelNotes([dialog = QPointer(dialog)](const QString& text) {
        if (dialog) {
            dialog->showChannelNotes(text);
        }
    });
    dialog->open();
}

void MainWindow::openAbout()
{
    auto* dialog = new AboutDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::startWorker()
{
    ++m_workersStarted;
    m_playback.start([&state = m_context.state, &reporter = *m_reporter, load = m_songLoader](auto generation) {
        playbackThreadWith(state, reporter, load);
        reporter.workerFinished(generation);
    });
}

void MainWindow::stopAndJoinWorker()
{
    // Only ever called with `playing` clear: the worker is ending anyway, and
    // one still reading its song must not hold the GUI thread until it is read.
    m_playback.stopAndJoin();
}

void MainWindow::workerFinished(std::uint64_t generation)
{
    // Only the worker that reported: a newer one may already have started.
    if (m_playback.joinEnded(generation)) {
        songEnded();
    }
}

void MainWindow::shutDown()
{
    if (m_fixedModeDialog) {
        m_fixedModeDialog->done(0);
        delete m_fixedModeDialog;
    }
    if (m_liveDialog) {
        m_liveDialog->done(0);
        delete m_liveDialog;
    }
    m_context.state.requestStop();
    stopAndJoinWorker();
}

void MainWindow::buildPlaybackMenu()
{
    QMenu* menu = new QMenu("&Playback", this);
    menu->setObjectName("playbackMenu");
    menuBar()->insertMenu(m_toolsMenu->menuAction(), menu);
    const auto add = [this, menu](const char* text, const char* name, QKeySequence key, auto slot) {
        QAction* action = menu->addAction(text, this, slot);
        action->setObjectName(name);
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::WindowShortcut);
            QWidget::addAction(action);
        }
        return action;
    };
    add("&Play/Pause", "playPauseAction", Qt::Key_Space, &MainWindow::togglePlayPause);
    add("&Stop", "stopAction", {}, &MainWindow::stop);
    add("Res&tart", "restartAction", {}, &MainWindow::restart);
    add("&Next", "nextAction", Qt::Key_N, [this] { step(1); });
    add("Pre&vious", "previousAction", Qt::Key_P, [this] { step(-1); });
    menu->addSeparator();
    add("&Back 5 s", "seekBackAction", Qt::Key_Left, [this] { seekBy(-kSeekStepMs); });
    add("&Forward 5 s", "seekForwardAction", Qt::Key_Right, [this] { seekBy(kSeekStepMs); });
    menu->addSeparator();
    // Off at start: a song that ends leaves the panel idle unless asked.
    QAction* whole = add("Play the &whole playlist", "wholePlaylistAction", {}, [] {});
    whole->setCheckable(true);
    connect(whole, &QAction::toggled, this, [this](bool on) {
        m_context.state.wholePlaylist.store(on ? 1 : 0);
        m_context.state.notifyChange();
    });
    QAction* repeat = add("&Repeat playlist", "repeatPlaylistAction", {}, [] {});
    repeat->setCheckable(true);
    connect(repeat, &QAction::toggled, this, [this](bool on) {
        m_context.state.repeatPlaylist.store(on ? 1 : 0);
        m_context.state.notifyChange();
    });
}

void MainWindow::buildShortcuts()
{
    const std::array keys{std::pair{"openAction", QKeySequence(Qt::CTRL | Qt::Key_O)},
                          std::pair{"exitAction", QKeySequence(Qt::CTRL | Qt::Key_Q)}};
    for (const auto& [name, key] : keys) {
        if (auto* action = menuBar()->findChild<QAction*>(name)) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::WindowShortcut);
            QWidget::addAction(action);
        }
    }
    // F10 opens the first menu, as on the desktops that users come from.
    auto* menuKey = new QAction(this);
    menuKey->setObjectName("menuKeyAction");
    menuKey->setShortcut(Qt::Key_F10);
    menuKey->setShortcutContext(Qt::WindowShortcut);
    connect(menuKey, &QAction::triggered, this, [this] {
        const QList<QAction*> menus = menuBar()->actions();
        if (!menus.isEmpty()) {
            menuBar()->setActiveAction(menus.constFirst());
        }
    });
    QWidget::addAction(menuKey);
}

void MainWindow::giveMnemonics()
{
    giveMnemonicsTo(menuBar()->actions());
    for (QAction* top : menuBar()->actions()) {
        if (QMenu* menu = top->menu()) {
            giveMnemonicsTo(menu->actions());
        }
    }
}

void MainWindow::connectProgressSeek()
{
    // A drag seeks where it is let go (a press that did not move is no
    // seek); a key, a page click or the wheel at once.
    connect(m_progressSlider, &QSlider::sliderPressed, this, [this] { m_progressDragged = false; });
    connect(m_progressSlider, &QSlider::sliderMoved, this, [this] { m_progressDragged = true; });
    connect(m_progressSlider, &QSlider::sliderReleased, this, [this] {
        if (m_progressDragged) {
            seekToSlider(m_progressSlider->value());
        }
    });
    connect(m_progressSlider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderNoAction && action != QAbstractSlider::SliderMove) {
            seekToSlider(m_progressSlider->sliderPosition());
        }
    });
}

void MainWindow::step(int places)
{
    if (m_context.state.playing.load() != 0) {
        m_context.state.requestStep(places);
        followPause();
        return;
    }
    const auto following = followingFile(m_playlist.selectedFile(), m_playlist.fileCount(), places,
                                         m_context.state.repeatPlaylist.load() != 0);
    if (const auto row = following ? m_playlist.rowOf(*following) : std::nullopt) {
        m_playlistBox->setCurrentRow(*row);
    }
}

void MainWindow::seekBy(int deltaMs)
{
    if (m_context.state.playing.load() != 0) {
        m_context.state.requestSeekBy(deltaMs);
    }
}

void MainWindow::seekToSlider(int position)
{
    if (m_context.state.playing.load() != 0 && m_songClock.running()) {
        m_context.state.requestSeek(sliderSeekMs(position, m_songClock.totalMs()));
    }
}

void MainWindow::playEntry(QListWidgetItem* item)
{
    const int row = m_playlistBox->row(item);
    if (row < 0 || !m_playlist.fileLoaded()) {
        return;
    }
    m_playlistBox->setCurrentRow(row);
    // The song that plays ends as Stop ends it; the chosen one starts afresh.
    if (m_context.state.playing.load() != 0) {
        m_context.state.requestStop();
    }
    play();
}

void MainWindow::nowPlaying(int index)
{
    // The selection follows the worker when it moves on (not at the file
    // that Play started, which the user may have left since).
    if (index != m_playingIndex) {
        if (const auto row = m_playlist.rowOf(index)) {
            m_playlistBox->setCurrentRow(*row);
        }
    }
    // What was said about the song before is not news about this one.
    statusBar()->clearMessage();
    markPlaying(index);
}

void MainWindow::songStarted(int totalMs)
{
    m_songClock.start(totalMs, m_monotonic.elapsed());
    followPause();
    m_playheadTimer->start();
    showSongTime();
    movePlayhead();
}

void MainWindow::songTime(int elapsedMs)
{
    m_songClock.report(elapsedMs, m_monotonic.elapsed());
    showSongTime();
    movePlayhead();
}

void MainWindow::songEnded()
{
    m_songClock.stop();
    m_playheadTimer->stop();
    markPlaying(-1);
    showSongTime();
    movePlayhead();
}

void MainWindow::followPause()
{
    m_songClock.setPaused(m_context.state.paused.load() != 0, m_monotonic.elapsed());
    markPlaying(m_playingIndex);
    showSongTime();
}

void MainWindow::markPlaying(int index)
{
    m_playingIndex = index;
    const QIcon playingIcon = style()->standardIcon(m_songClock.paused() ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay);
    const std::optional<int> playingRow = index >= 0 ? m_playlist.rowOf(index) : std::nullopt;
    for (int row = 0; row < m_playlistBox->count(); ++row) {
        QListWidgetItem* item = m_playlistBox->item(row);
        const bool playing = playingRow == row;
        QFont font = item->font();
        font.setBold(playing);
        item->setFont(font);
        item->setIcon(playing ? playingIcon : QIcon());
        item->setData(Qt::AccessibleDescriptionRole, playing ? QString(m_songClock.paused() ? "Paused" : "Playing")
                                                             : QString());
    }
}

void MainWindow::showSongTime()
{
    m_songLabel->setText(m_songClock.running() ? QString::fromStdString(songTimeText(
                                                     m_songClock.paused(), m_songClock.reportedMs(), m_songClock.totalMs()))
                                               : QString());
}

void MainWindow::movePlayhead()
{
    if (!m_songClock.running() || m_playingIndex < 0 || m_playingIndex >= m_playlist.fileCount()) {
        m_analysis->setPlayhead(std::nullopt);
        return;
    }
    if (m_analysis->showsPlayhead()) {
        m_analysis->setPlayhead(Playhead{m_playlist.path(m_playingIndex), m_songClock.at(m_monotonic.elapsed())});
    }
}
