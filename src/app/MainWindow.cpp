#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/AppContext.h"
#include "app/CoilsDialog.h"
#include "app/FileDrops.h"
#include "app/GuiReporter.h"
#include "app/LiveInputDialog.h"
#include "app/LiveRefusal.h"
#include "app/MainControls.h"
#include "app/MainMenus.h"
#include "app/M3u.h"
#include "app/PanicKey.h"
#include "app/SeekSlider.h"
#include "app/SongLengths.h"
#include "app/SongChecks.h"
#include "app/CheckSongDialog.h"
#include "app/SongDisplay.h"
#include "app/SongSettingsDialog.h"
#include "app/SongSettingsMarks.h"
#include "app/StatusTexts.h"
#include "app/Transport.h"
#include "coilmodel/CoilLimitsFile.h"
#include "fixed/FixedModeDialog.h"
#include "fixed/OptionsDialog.h"
#include "midiin/MidiInputService.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"
#include "playback/PlaylistRun.h"
#include "playback/RigOutputs.h"
#include "playback/RigPanic.h"
#include "rig/CoilDevices.h"
#include "rig/RigFile.h"
#include "song/NoteList.h"
#include "views/AnalysisMakers.h"
#include "views/AnalysisWindows.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QSpinBox>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>

#include <algorithm>

// The window's icon, compiled in: XPM is C. Read from a file or a resource,
// it would have Qt look through every icon engine and image format plugin
// first, loading three of them (and libjpeg) before the window can show.
#include "icons/quillarc.xpm"

namespace {

// Karaoke files (.kar) are Standard MIDI Files too.
constexpr const char* kMidiFilters = "MIDI Files (*.mid *.midi *.kar);;All Files (*)";
constexpr const char* kPlaylistFilters = "Playlists (*.m3u *.m3u8);;All Files (*)";
// Left and Right seek this far back and forward.
constexpr int kSeekStepMs = 5000;

QStringList chooseFiles(QWidget* parent, const char* title, const QString& folder, QFileDialog::FileMode mode,
                        const char* filters, const char* suffix, QFileDialog::AcceptMode accept = QFileDialog::AcceptOpen)
{
    QFileDialog dialog(parent, title, folder);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(accept);
    dialog.setNameFilter(filters);
    dialog.setDefaultSuffix(suffix);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

QString firstOf(const QStringList& chosen)
{
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}

}  // namespace

MainWindow::MainWindow(AppContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context)
{
    m_fileDialogs.openFiles = [this](QWidget* owner) {
        return chooseFiles(owner, "Open", m_openFolder, QFileDialog::ExistingFiles, kMidiFilters, "mid");
    };
    m_fileDialogs.addFile = [this](QWidget* owner) {
        return firstOf(chooseFiles(owner, "Add", m_openFolder, QFileDialog::ExistingFile, kMidiFilters, "mid"));
    };
    m_fileDialogs.loadPlaylist = [this](QWidget* owner) {
        return firstOf(chooseFiles(owner, "Load playlist", m_openFolder, QFileDialog::ExistingFile, kPlaylistFilters, "m3u"));
    };
    m_fileDialogs.savePlaylist = [this](QWidget* owner) {
        return firstOf(chooseFiles(owner, "Save playlist", m_openFolder, QFileDialog::AnyFile, kPlaylistFilters, "m3u",
                                   QFileDialog::AcceptSave));
    };
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
        [this](int totalMs) { m_display->started(totalMs, m_context.state.paused.load() != 0); },
        [this](int elapsedMs) { m_display->time(elapsedMs); },
        [this](const QString& text) { m_display->showLimits(text); },
        [this](int speedPercent, const std::optional<LoopRegion>& loop, bool loopOn) {
            songShaped(speedPercent, loop, loopOn);
        },
        [this](int totalMs) {
            m_display->lengthChanged(totalMs);
            showLoopBand();
        },
    });
    m_worker = std::make_unique<PlaybackWorker>(m_context.state, *m_reporter, [reporter = m_reporter.get()](auto generation) {
        reporter->workerFinished(generation);
    });

    statusBar()->setObjectName("statusBar");
    setWindowIcon(QIcon(QPixmap(quillarc)));

    m_analysis = new AnalysisWindows(analysisMakers(panelDiagnostics()), [this] { return panelSelection(); }, this);
    buildControls();
    buildMenus();
    new PanicKey(this, [this] { silenceCoil(); });
    connectProgressSeek();
    setAcceptDrops(true);
    // Last: the context looks the devices up while the window is built, and
    // the status bar says what it found before the window shows.
    m_context.state.setControllerPort(m_context.controllerAtStart());
    showStatus(QString::fromStdString(startStatusText()));
}

MainWindow::~MainWindow()
{
    shutDown();
}

int MainWindow::playingIndex() const
{
    return m_display->playingIndex();
}

void MainWindow::setFileDialogs(FileDialogs dialogs)
{
    m_fileDialogs = std::move(dialogs);
}

void MainWindow::setSongLoader(SongLoad load)
{
    m_worker->setSongLoader(std::move(load));
}

void MainWindow::buildMenus()
{
    AppState& state = m_context.state;
    MenuCommands commands;
    commands.open = [this] { openFiles(); };
    commands.add = [this] { addFile(); };
    commands.loadPlaylist = [this] { loadPlaylistFile(); };
    commands.savePlaylist = [this] { savePlaylistFile(); };
    commands.exit = [this] { close(); };
    commands.remove = [this] { removeSelected(); };
    commands.clear = [this] { clearPlaylist(); };
    commands.moveUp = [this] { moveSelected(-1); };
    commands.moveDown = [this] { moveSelected(1); };
    commands.playPause = [this] { togglePlayPause(); };
    commands.stop = [&state] { state.requestStop(); };
    commands.restart = [&state] { state.requestRestart(); };
    commands.next = [this] { step(1); };
    commands.previous = [this] { step(-1); };
    commands.seekBack = [this] { seekBy(-kSeekStepMs); };
    commands.seekForward = [this] { seekBy(kSeekStepMs); };
    commands.loopStart = [this] { markLoop(&LoopMarks::markStart); };
    commands.loopEnd = [this] { markLoop(&LoopMarks::markEnd); };
    commands.loopToggle = [this] {
        if (m_display->clock().running()) {
            m_loop.toggle();
            loopChanged();
        }
    };
    commands.wholePlaylist = [&state](bool on) { state.setWholePlaylist(on); };
    commands.repeatPlaylist = [&state](bool on) { state.setRepeatPlaylist(on); };
    commands.analysis = [this](ChartKind kind) {
        // The coils as the next Play would have them: the files as they are now.
        reloadCoilLimits();
        m_analysis->open(kind);
    };
    commands.coils = [this] { openCoils(this); };
    commands.options = [this] { openOptions(); };
    commands.liveInput = [this] { openLiveInput(); };
    commands.checkSong = [this] { openCheckSong(); };
    commands.songSettings = [this] { openSongSettings(); };
    commands.silence = [this] { silenceCoil(); };
    commands.about = [this] { openAbout(); };
    const MainMenus menus = buildMainMenus(*this, commands);
    m_toolsMenu = menus.tools;
    m_optionsAction = menus.options;
    m_wholePlaylistAction = menus.wholePlaylist;
    m_repeatPlaylistAction = menus.repeatPlaylist;
    // The playlist's own menu: its edits.
    m_playlistBox->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_playlistBox->addActions(menus.playlist->actions());
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
    selection.rig = m_context.state.rig();
    // The song playing shows at the speed it plays at; the Speed box is its
    // own once changed while it plays. Any other shows at its own speed.
    const int playing = m_display != nullptr ? m_display->playingIndex() : -1;
    if (selection.fileLoaded && playing == selected && m_speedInForce != m_songSpeed) {
        selection.speedPercent = m_speedInForce;
    }
    return selection;
}

void MainWindow::buildControls()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);
    const MainControls controls = buildMainControls(central, m_context.state.volumePosition.load());
    m_volumeSlider = controls.volume;
    m_progressSlider = controls.progress;
    m_speedSpin = controls.speed;
    connect(m_speedSpin, &QSpinBox::valueChanged, this, [this](int percent) {
        // From where the song is, at once; the next Play starts from the song's own.
        if (m_context.state.playing.load() != 0 && m_display->clock().running() && percent != m_speedInForce) {
            m_speedInForce = percent;
            m_context.state.requestSpeed(percent);
            m_analysis->selectionChanged();
        }
    });
    m_playlistBox = controls.playlist;
    m_lengths = new SongLengths(this);
    m_marks = new SongSettingsMarks(this);
    m_rows.emplace(
        m_playlistBox, m_playlist,
        [this](const std::string& path) { return m_lengths->lengthMs(path, m_context.options); },
        [this](const std::string& path) { return m_marks->settingsOf(path).has_value(); });
    m_rows->showLines();
    connect(m_lengths, &SongLengths::measured, this, [this](const QString& path) { m_rows->refresh(path.toStdString()); });
    connect(m_marks, &SongSettingsMarks::looked, this, [this](const QString& path) { m_rows->refresh(path.toStdString()); });
    m_playChecks = new SongChecks(this);
    connect(m_playChecks, &SongChecks::checked, this, [this](const QString& path, const QString& summary) {
        const int playing = m_display->playingIndex();
        if (playing >= 0 && playing < m_playlist.fileCount() && m_playlist.path(playing) == path.toStdString()) {
            m_display->showCheck(summary);
        }
    });

    AppState& state = m_context.state;
    connect(controls.play, &QPushButton::clicked, this, &MainWindow::play);
    connect(controls.pause, &QPushButton::clicked, this, &MainWindow::pause);
    connect(controls.stop, &QPushButton::clicked, this, [&state] { state.requestStop(); });
    connect(controls.restart, &QPushButton::clicked, this, [&state] { state.requestRestart(); });
    connect(controls.previous, &QPushButton::clicked, this, [this] { step(-1); });
    connect(controls.next, &QPushButton::clicked, this, [this] { step(1); });
    connect(controls.fixedMode, &QPushButton::clicked, this, &MainWindow::openFixedMode);
    connect(controls.exit, &QPushButton::clicked, this, &QWidget::close);
    // Connected after the initial position is set: only moves are sent.
    connect(m_volumeSlider, &QSlider::valueChanged, this, [&state](int position) { state.moveVolume(position); });
    connect(m_playlistBox, &QListWidget::itemSelectionChanged, this, &MainWindow::playlistSelectionChanged);
    connect(m_playlistBox, &QListWidget::itemActivated, this, &MainWindow::playEntry);

    m_display = new SongDisplay(statusBar(), m_playlist, *m_rows, *m_analysis, this);

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
    // As the user left it, analysis windows included, before they close.
    writePanelSettings(panelSettings());
    shutDown();
    QMainWindow::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (offersLocalFiles(event->mimeData()->urls())) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const DroppedFiles dropped = droppedFiles(event->mimeData()->urls());
    for (const QString& path : dropped.files) {
        appendToPlaylist(path);
    }
    // After "Loaded ": what was refused is the news.
    if (dropped.refusal) {
        showStatus(*dropped.refusal);
    }
    event->acceptProposedAction();
}

void MainWindow::dropFiles(const QStringList& paths)
{
    const DroppedFiles dropped = regularFiles(paths);
    for (const QString& path : dropped.files) {
        appendToPlaylist(path);
    }
    if (dropped.refusal) {
        showStatus(*dropped.refusal);
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
    m_openFolder = QFileInfo(paths.constFirst()).absolutePath();
    replacePlaylist(paths, 0, false);
    showStatus(kLoadedText);
}

void MainWindow::replacePlaylist(const QStringList& paths, int selected, bool quietly)
{
    m_playlist.clearLines();
    std::vector<std::string> chosen;
    chosen.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) {
        chosen.push_back(path.toStdString());
    }
    m_playlist.replace(std::move(chosen));
    m_rows->showLines();
    sharePlaylist();
    // The song that plays on is not one of the new entries.
    m_display->markPlaying(-1);
    // The chosen file is the selected one, and shows so; a song that ended
    // before leaves the slider to the new list.
    const int row = std::clamp(selected, 0, std::max(m_playlist.fileCount() - 1, 0));
    if (quietly) {
        const QSignalBlocker blocker(m_playlistBox);
        m_rows->select(row);
        m_playlist.selectLine(row);
    } else {
        m_rows->select(row);
    }
    if (m_context.state.playing.load() == 0) {
        m_progressSlider->setValue(0);
    }
    m_analysis->selectionChanged();
    measureLengths();
}

void MainWindow::addFile()
{
    const QString path = m_fileDialogs.addFile(this);
    if (!path.isEmpty()) {
        m_openFolder = QFileInfo(path).absolutePath();
        appendToPlaylist(path);
    }
}

void MainWindow::removeSelected()
{
    if (m_playlist.fileLoaded()) {
        applyEdit(m_playlist.remove(m_playlist.selectedFile()));
    }
}

void MainWindow::clearPlaylist()
{
    applyEdit(m_playlist.clear());
}

void MainWindow::moveSelected(int step)
{
    if (const auto moves = m_playlist.move(m_playlist.selectedFile(), step)) {
        applyEdit(*moves);
    }
}

void MainWindow::applyEdit(const Playlist::Moves& moves)
{
    m_rows->showLines();
    // The worker's list too: a song that plays goes on, its file where it is now.
    m_context.state.editPlaylist(m_playlist.paths(), moves);
    const int playing = m_display->playingIndex();
    m_display->markPlaying(playing >= 0 && playing < static_cast<int>(moves.size()) ? moves[static_cast<std::size_t>(playing)] : -1);
    if (m_playlist.fileLoaded()) {
        m_rows->select(m_playlist.selectedFile());
    }
    m_analysis->selectionChanged();
}

void MainWindow::loadPlaylistFile()
{
    const QString file = m_fileDialogs.loadPlaylist(this);
    if (file.isEmpty()) {
        return;
    }
    QFile in(file);
    if (!QFileInfo(file).isFile() || !in.open(QIODevice::ReadOnly)) {
        showStatus("Error: cannot open playlist " + file);
        return;
    }
    const QByteArray text = in.readAll();
    const M3uPaths read = m3uPaths(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), file.toStdString());
    if (read.error || read.paths.empty()) {
        showStatus(read.error ? QString::fromStdString(*read.error) : "Error: no files in playlist " + file);
        return;
    }
    QStringList paths;
    for (const std::string& path : read.paths) {
        paths << QString::fromStdString(path);
    }
    replacePlaylist(paths, 0, false);
    showStatus(kLoadedText);
}

void MainWindow::savePlaylistFile()
{
    if (!m_playlist.fileLoaded()) {
        showStatus(kNoFileLoadedText);
        return;
    }
    const QString file = m_fileDialogs.savePlaylist(this);
    if (file.isEmpty()) {
        return;
    }
    // Absolute paths: the list may be read from anywhere.
    std::vector<std::string> paths;
    for (const std::string& path : m_playlist.paths()) {
        paths.push_back(QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString());
    }
    const std::string text = m3uText(paths);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.data(), static_cast<qint64>(text.size())) < 0 || !out.commit()) {
        showStatus("Error: cannot write playlist " + file);
        return;
    }
    showStatus("Saved " + file);
}

void MainWindow::measureLengths()
{
    m_lengths->measure(m_playlist.paths(), m_context.options);
    m_marks->look(m_playlist.paths());
}

void MainWindow::restorePanel(const PanelSettings& settings)
{
    if (!settings.mainGeometry.isEmpty()) {
        restoreGeometry(settings.mainGeometry);
    }
    m_openFolder = settings.openFolder;
    m_volumeSlider->setValue(settings.volumePosition);
    // The start's volume, not a move to be sent: no worker runs yet, and
    // each song starts with the volume of the slider.
    m_context.state.pendingVolume.store(-1);
    m_wholePlaylistAction->setChecked(settings.wholePlaylist);
    m_repeatPlaylistAction->setChecked(settings.repeatPlaylist);
    if (!settings.playlist.isEmpty()) {
        replacePlaylist(settings.playlist, settings.selected, true);
    }
    m_analysis->reopen(settings.chartOpen, settings.chartGeometry);
}

PanelSettings MainWindow::panelSettings() const
{
    PanelSettings settings;
    for (const std::string& path : m_playlist.paths()) {
        settings.playlist << QString::fromStdString(path);
    }
    settings.selected = m_playlist.selectedFile();
    settings.volumePosition = m_volumeSlider->value();
    settings.wholePlaylist = m_wholePlaylistAction->isChecked();
    settings.repeatPlaylist = m_repeatPlaylistAction->isChecked();
    settings.openFolder = m_openFolder;
    settings.mainGeometry = saveGeometry();
    settings.chartGeometry = m_analysis->geometry();
    settings.chartOpen = m_analysis->openKinds();
    return settings;
}

void MainWindow::appendToPlaylist(const QString& path)
{
    showStatus(kLoadedText);
    addToPlaylist(path);
}

void MainWindow::addToPlaylist(const QString& path)
{
    m_rows->showLastLine(m_playlist.append(path.toStdString()));
    sharePlaylist();
    m_analysis->selectionChanged();
    measureLengths();
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
    return refusedForLimitsFile();
}

bool MainWindow::refusedForLimitsFile()
{
    reloadCoilLimits();
    if (m_context.limitsFileError) {
        showStatus(QString::fromStdString(*m_context.limitsFileError));
        return true;
    }
    if (m_context.rigFileError) {
        showStatus(QString::fromStdString(*m_context.rigFileError));
        return true;
    }
    return false;
}

void MainWindow::reloadCoilLimits()
{
    // The Duty Cycle window draws the limit in force, of a coil of the rig.
    const auto rig = m_context.state.rig();
    if (m_context.reloadCoilLimits() || rig != m_context.state.rig()) {
        m_analysis->selectionChanged();
    }
}

void MainWindow::play()
{
    if (refusedWhileLiveOrLimitsBad(kLiveBusyPlayText)) {
        return;
    }
    if (m_context.state.playing.load() == 0 && m_playlist.fileLoaded()) {
        joinAndLookForController();
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
        // Joined first: no earlier worker may clear `playing` after the request.
        m_worker->stopAndJoin();
        // What the limits did to the last song, and what its check found,
        // stay until now.
        m_display->showLimits({});
        m_display->showCheck({});
        beginPlayback(m_context.state, m_playlist, m_context.options);
        m_worker->start();
        m_display->markPlaying(m_playlist.currentFile());
        m_playChecks->check(m_playlist.path(m_playlist.currentFile()), currentRig(), m_context.options);
        break;
    }
}

void MainWindow::pause()
{
    m_context.state.requestPause();
    followPause();
}

void MainWindow::togglePlayPause()
{
    if (m_context.state.playing.load() != 0 && m_context.state.paused.load() == 0) {
        pause();
    } else {
        play();
    }
}

Rig MainWindow::currentRig() const
{
    const auto rig = m_context.state.rig();
    return rig ? *rig : defaultRig(m_context.options);
}

bool MainWindow::songChosenAndFilesRead()
{
    if (!m_playlist.fileLoaded()) {
        showStatus(kNoFileLoadedText);
        return false;
    }
    // The coils as the next Play would have them: the files as they are now.
    m_context.reloadCoilLimits();
    if (const auto& error = m_context.rigFileError ? m_context.rigFileError : m_context.limitsFileError) {
        showStatus(QString::fromStdString(*error));
        return false;
    }
    return true;
}

void MainWindow::openCheckSong()
{
    if (!songChosenAndFilesRead()) {
        return;
    }
    if (!m_checkDialog) {
        m_checkDialog = new CheckSongDialog(this);
        m_dialogChecks = new SongChecks(m_checkDialog);
        connect(m_dialogChecks, &SongChecks::checked, m_checkDialog,
                [dialog = m_checkDialog.data()](const QString& path, const QString&, const QString& report) {
                    dialog->report(path, report);
                });
    }
    const std::string& path = m_playlist.path(m_playlist.selectedFile());
    m_checkDialog->checking(QString::fromStdString(path));
    m_dialogChecks->check(path, currentRig(), m_context.options);
    m_checkDialog->show();
    m_checkDialog->raise();
    m_checkDialog->activateWindow();
}

void MainWindow::songShaped(int speedPercent, const std::optional<LoopRegion>& loop, bool loopOn)
{
    m_speedInForce = speedPercent;
    m_songSpeed = speedPercent;
    {
        const QSignalBlocker quiet(m_speedSpin);
        m_speedSpin->setValue(speedPercent);
    }
    m_loop.reset(loop, loopOn);
    showLoopBand();
    m_analysis->selectionChanged();
}

void MainWindow::markLoop(void (LoopMarks::*mark)(int ms))
{
    if (!m_display->clock().running()) {
        return;
    }
    // The loop's positions are the song's own, at 100 %.
    (m_loop.*mark)(static_cast<int>(unscaledTimeMs(m_display->elapsedNow(), m_speedInForce)));
    loopChanged();
}

void MainWindow::loopChanged()
{
    if (m_context.state.playing.load() != 0) {
        m_context.state.setLoop(m_loop.request());
    }
    showLoopBand();
    showStatus(QString::fromStdString(m_loop.text()));
}

void MainWindow::showLoopBand()
{
    const auto region = m_loop.region();
    const double total = m_display->clock().totalMs();
    if (!region || total <= 0.0) {
        m_progressSlider->setBand(std::nullopt);
        return;
    }
    const auto at = [&](std::int32_t ms) { return std::min(1.0, static_cast<double>(scaledTimeMs(ms, m_speedInForce)) / total); };
    m_progressSlider->setBand(std::pair(at(region->fromMs), at(region->toMs)));
}

void MainWindow::songSettingsWritten(const QString& songPath)
{
    m_marks->forget();
    m_marks->look(m_playlist.paths());
    showStatus("Song settings saved for " + QFileInfo(songPath).fileName() + ": they apply at the next Play");
}

void MainWindow::openSongSettings()
{
    if (!songChosenAndFilesRead()) {
        return;
    }
    auto* dialog = new SongSettingsDialog(currentRig(), m_playlist.path(m_playlist.selectedFile()), m_context.options, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &SongSettingsDialog::written, this, [this](const QString& path) { songSettingsWritten(path); });
    dialog->open();
}

std::string MainWindow::startStatusText() const
{
    if (m_context.rigFileError) {
        return *m_context.rigFileError;
    }
    if (const auto rig = m_context.state.rig()) {
        return rigStatusText(*rig, coilDevices(*rig, outputDeviceNames()));
    }
    return controllerStatusText(m_context.state.controllerPort.load());
}

void MainWindow::silenceCoil()
{
    // A song first, as Stop ends it: its worker silences and closes the
    // device, and nothing it sends can follow the panic.
    m_worker->stopAndJoin();
    if (const auto rig = m_context.state.rig()) {
        const PanicOutcome outcome = panicRig(*rig);
        showStatus(outcome.ok() ? kCoilsSilencedText : QString::fromStdString(outcome.errors.front()));
        return;
    }
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
        m_context.state.setControllerPort(port);
        m_controllerLost = false;
        if (port >= 0) {
            showStatus(QString::fromStdString(controllerStatusText(port)));
        }
    }
    return m_context.state.controllerPort.load() >= 0;
}

void MainWindow::joinAndLookForController()
{
    // Only ever with `playing` clear: the worker is ending anyway, and one
    // still reading its song gives up at the stop.
    m_worker->stopAndJoin();
    ensureController();
}

void MainWindow::openFixedMode()
{
    if (refusedWhileLiveOrLimitsBad(kLiveBusyFixedText)) {
        return;
    }
    if (m_context.state.playing.load() == 0 && m_context.state.paused.load() == 0) {
        joinAndLookForController();
    }
    if (const auto refusal = fixedModeRefusal(m_context.state)) {
        showStatus(QString::fromStdString(*refusal));
        return;
    }
    auto* dialog = new FixedModeDialog(m_context.state, m_context.fixedModeOutput(), *m_reporter, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_fixedModeDialog = dialog;
    dialog->open();
}

void MainWindow::openLiveInput()
{
    if (refusedForLimitsFile()) {
        return;
    }
    if (m_context.state.playing.load() == 0 && m_context.state.paused.load() == 0) {
        joinAndLookForController();
    }
    if (const auto refusal = liveModeRefusal(m_context.state, midiInputs().deviceCount())) {
        showStatus(QString::fromStdString(*refusal));
        return;
    }
    m_context.state.setOptions(m_context.options);
    auto* dialog = new LiveInputDialog(m_context.state, *m_reporter, midiInputs(), m_volumeSlider->value(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_liveDialog = dialog;
    dialog->open();
}

void MainWindow::openCoils(QWidget* parent)
{
    reloadCoilLimits();
    std::string error;
    std::optional<CoilsEdit> edit = loadCoilsEdit(rigPath(), m_context.options, error);
    if (!edit) {
        // A rig file that cannot be read is the user's to mend: never written over.
        showStatus(QString::fromStdString(error + kLimitsFileKeptText));
        return;
    }
    auto* dialog = new CoilsDialog(std::move(*edit), m_context.options, outputDeviceNames(), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &CoilsDialog::rigWritten, this, [this] {
        // The rig in force from the next Play, Fixed Mode or live start.
        m_context.reloadRig();
        m_analysis->selectionChanged();
        showStatus(QString::fromStdString(startStatusText()));
    });
    if (const PanelSelection selection = panelSelection(); selection.fileLoaded) {
        dialog->surveySong(selection.path);
    }
    dialog->open();
}

void MainWindow::openOptions()
{
    // The limits as the file has them now; a file that cannot be read is
    // never written over, and the dialog says why.
    reloadCoilLimits();
    const std::optional<std::string> limitsError = m_context.limitsFileError;
    auto* dialog = new OptionsDialog(m_context.options, m_fileDialogs.curveFile, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (m_context.state.rig()) {
        dialog->leadToCoils([this, dialog] { openCoils(dialog); });
    }
    if (limitsError) {
        dialog->refuseLimits(QString::fromStdString(*limitsError));
    }
    // Running playback reads the curve settings as they change.
    connect(dialog, &OptionsDialog::optionsChanged, this, [this] {
        m_context.state.setOptions(m_context.options);
        m_analysis->selectionChanged();
        // A song's length is that of its channel.
        measureLengths();
        for (const std::string& path : m_playlist.paths()) {
            m_rows->refresh(path);
        }
    });
    // The limits belong to the coil, so they are kept in its file for every
    // program and the next run.
    connect(dialog, &QDialog::accepted, this, [this, limitsError] {
        const auto error = limitsError ? std::optional(*limitsError + kLimitsFileKeptText) : m_context.saveCoilLimits();
        if (error) {
            showStatus(QString::fromStdString(*error));
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

void MainWindow::workerFinished(std::uint64_t generation)
{
    // Only the worker that reported: a newer one may already have started.
    if (m_worker->joinEnded(generation)) {
        m_display->ended();
        m_loop.reset(std::nullopt, false);
        showLoopBand();
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
    m_worker->stopAndJoin();
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
    connect(m_progressSlider, &SeekSlider::jumped, this, &MainWindow::seekToSlider);
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
    if (following) {
        m_rows->select(*following);
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
    if (m_context.state.playing.load() != 0 && m_display->clock().running()) {
        m_context.state.requestSeek(sliderSeekMs(position, m_display->clock().totalMs()));
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

void MainWindow::nowPlaying(int reported)
{
    // Where the file is now: the playlist may have been edited since the
    // worker reported.
    static_cast<void>(reported);
    const int index = m_context.state.playingIndex.load();
    // The selection follows the worker when it moves on (not at the file
    // that Play started, which the user may have left since).
    if (index != m_display->playingIndex()) {
        m_rows->select(index);
    }
    // What was said about the song before is not news about this one.
    statusBar()->clearMessage();
    m_display->markPlaying(index);
}

void MainWindow::followPause()
{
    m_display->setPaused(m_context.state.paused.load() != 0);
}
