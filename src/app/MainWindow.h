#pragma once

#include "app/Playlist.h"
#include "app/SongClock.h"
#include "base/WorkerOwner.h"
#include "playback/PlaybackSession.h"
#include "views/ChartSource.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class AnalysisWindows;
class AppContext;
class FixedModeDialog;
class LiveInputDialog;
class GuiReporter;
class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QSlider;
class QTimer;

// The file dialogs the window opens. Each returns what the user chose, empty
// when cancelled; tests replace them.
struct FileDialogs {
    // "Open...": one or more MIDI files.
    std::function<QStringList(QWidget* parent)> openFiles;
    // "Add...": one MIDI file.
    std::function<QString(QWidget* parent)> addFile;
    // Options, "Load file...": a velocity-curve text file.
    std::function<QString(QWidget* parent)> curveFile;
};

// "Quillarc Control Panel": transport buttons, volume and progress sliders,
// the playlist and the status bar. Every command becomes a change of the
// shared state, a start of the playback thread, a dialog or an analysis
// window.
//
// The player around the transport: Next and Previous, the whole
// playlist (with repeat), seeking with the progress slider and the arrow
// keys, the playing entry marked in the playlist with the selection
// following it, and a permanent label with the state and the song's time.
// Every menu has mnemonics; Space (play/pause), N, P, Left and Right work
// wherever the focus is in the window.
//
// The window owns the playback thread: it joins a finished one when the
// thread reports its end (by generation number, so a late report never
// joins a newer worker), before starting the next, before fixed mode, and
// when the window closes. Before any join it raises the stop flag, so a
// worker still reading its song gives up at once instead of holding the GUI
// thread. Workers reach the widgets only through the GuiReporter's queued
// calls.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Finds the controller and reports it in the status bar. `context` must
    // outlive the window.
    explicit MainWindow(AppContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    void setFileDialogs(FileDialogs dialogs);
    // Where playback workers get their notes: loadSong unless replaced.
    void setSongLoader(SongLoad load);
    // Appends `paths` to the playlist as given, as "Add..." appends one.
    void appendFiles(const QStringList& paths);
    // Appends the dropped `paths` that are files; anything else (a folder, a
    // missing file) is refused with a status message.
    void dropFiles(const QStringList& paths);

    const Playlist& playlist() const { return m_playlist; }
    // How many playback threads this window has started.
    int workersStarted() const { return m_workersStarted; }
    // True while a playback thread exists that has not been joined.
    bool hasWorker() const { return m_playback.running(); }
    // The Tools menu; the analysis windows' entries go before "Options...".
    QMenu* toolsMenu() const { return m_toolsMenu; }
    QAction* optionsAction() const { return m_optionsAction; }

    // The playlist index of the file being played, -1 when none plays.
    int playingIndex() const { return m_playingIndex; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildControls();
    void buildAnalysisMenu();
    // The Playback menu: the transport, Next, Previous, the seeks and the
    // playlist modes, with their keys.
    void buildPlaybackMenu();
    // Ctrl+O, Ctrl+Q and F10 on the window.
    void buildShortcuts();
    // Gives each menu and entry without one a mnemonic of its own.
    void giveMnemonics();
    // Seeking with the progress slider.
    void connectProgressSeek();
    // The file and options the analysis windows show.
    PanelSelection panelSelection() const;

    void showStatus(const QString& text);
    void openFiles();
    void addFile();
    void appendToPlaylist(const QString& path);
    void playlistSelectionChanged();

    void play();
    bool refusedWhileLiveOrLimitsBad(const char* liveText);
    void pause();
    void stop();
    void restart();
    void togglePlayPause();
    // Next (+1) and Previous (-1): the worker moves on while a song plays;
    // otherwise the selection does.
    void step(int places);
    void seekBy(int deltaMs);
    void seekToSlider(int position);
    // Double-click or Enter on an entry: it plays from its lead-in.
    void playEntry(QListWidgetItem* item);
    // The song reports of the worker.
    void nowPlaying(int index);
    void songStarted(int totalMs);
    void songTime(int elapsedMs);
    void songEnded();
    // The paused flag may have changed: the song's clock and label follow.
    void followPause();
    void markPlaying(int index);
    void showSongTime();
    void movePlayhead();
    void sharePlaylist();
    // The panic: stops a song, then silences every channel of the controller.
    void silenceCoil();
    // Looks for the controller again when it was not found or has gone;
    // only while no worker runs. True when there is a controller.
    bool ensureController();
    void openFixedMode();
    void openLiveInput();
    void openOptions();
    void openAbout();

    void startWorker();
    void stopAndJoinWorker();
    void workerFinished(std::uint64_t generation);
    void shutDown();

    AppContext& m_context;
    // Declared first: it must outlive every worker and dialog that reports to it.
    std::unique_ptr<GuiReporter> m_reporter;
    Playlist m_playlist;
    FileDialogs m_fileDialogs;
    SongLoad m_songLoader = loadSong;
    // Stopping a worker before its join ends a song as Stop does; the stop
    // flag also makes one still reading its song give up at once.
    WorkerOwner m_playback;
    int m_workersStarted = 0;
    // A worker found the controller gone or unable to open: look again
    // before the next use.
    bool m_controllerLost = false;

    QListWidget* m_playlistBox = nullptr;
    QSlider* m_volumeSlider = nullptr;
    QSlider* m_progressSlider = nullptr;
    QMenu* m_toolsMenu = nullptr;
    QAction* m_optionsAction = nullptr;
    QLabel* m_songLabel = nullptr;
    QTimer* m_playheadTimer = nullptr;
    QElapsedTimer m_monotonic;
    SongClock m_songClock;
    int m_playingIndex = -1;
    // The progress slider moved under the user's hand since it was pressed.
    bool m_progressDragged = false;
    QPointer<FixedModeDialog> m_fixedModeDialog;
    QPointer<LiveInputDialog> m_liveDialog;
    AnalysisWindows* m_analysis = nullptr;
};
