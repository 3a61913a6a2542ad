#pragma once

#include "app/PlaybackWorker.h"
#include "app/Playlist.h"
#include "app/PlaylistBox.h"
#include "views/ChartSource.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class AnalysisWindows;
class AppContext;
class FixedModeDialog;
class LiveInputDialog;
class GuiReporter;
class QAction;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QSlider;
class SongDisplay;

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
// the playlist and the status bar. The window wires the pieces: its menus
// (MainMenus, with their mnemonics), the playlist box (PlaylistBox), drops
// (FileDrops), the playback worker (PlaybackWorker) and the shared state,
// through whose requests every transport change goes (AppState). Every
// command becomes such a request, a start of the worker, a dialog or an
// analysis window.
//
// The player: Next and Previous, the whole playlist (with repeat), seeking
// with the progress slider and the arrow keys, the playing entry marked in
// the playlist with the selection following it, and a permanent label with
// the state and the song's time. Space (play/pause), N, P, Left and Right
// work wherever the focus is in the window.
//
// The worker is joined when it reports its end (by generation, so a late
// report never joins a newer worker), before the next starts, before fixed
// mode and live input, and when the window closes. Workers reach the widgets
// only through the GuiReporter's queued calls.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Finds the controller and reports it in the status bar. `context` must
    // outlive the window.
    explicit MainWindow(AppContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    void setFileDialogs(FileDialogs dialogs);
    // Where playback workers get their notes: loadRigSong unless replaced.
    void setSongLoader(SongLoad load);
    // The start-up list: appends `paths` as given, as "Add..." appends one,
    // but quietly, so that the status bar goes on saying whether the
    // controller was found.
    void appendFiles(const QStringList& paths);
    // Appends the dropped `paths` that are files; anything else (a folder, a
    // missing file) is refused with a status message.
    void dropFiles(const QStringList& paths);

    const Playlist& playlist() const { return m_playlist; }
    // How many playback threads this window has started.
    int workersStarted() const { return m_worker->started(); }
    // True while a playback thread exists that has not been joined.
    bool hasWorker() const { return m_worker->running(); }
    // The Tools menu; the analysis windows' entries go before "Options...".
    QMenu* toolsMenu() const { return m_toolsMenu; }
    QAction* optionsAction() const { return m_optionsAction; }

    // The playlist index of the file being played, -1 when none plays.
    int playingIndex() const;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildControls();
    // Seeking with the progress slider.
    void connectProgressSeek();
    // The file and options the analysis windows show.
    PanelSelection panelSelection() const;

    void showStatus(const QString& text);
    void openFiles();
    void addFile();
    // "Loaded ", then addToPlaylist.
    void appendToPlaylist(const QString& path);
    void addToPlaylist(const QString& path);
    void playlistSelectionChanged();

    void play();
    bool refusedWhileLiveOrLimitsBad(const char* liveText);
    // Reads the coil limits file afresh; true (its error shown) when it
    // cannot be read.
    bool refusedForLimitsFile();
    void reloadCoilLimits();
    void pause();
    void togglePlayPause();
    // Next (+1) and Previous (-1): the worker moves on while a song plays;
    // otherwise the selection does.
    void step(int places);
    void seekBy(int deltaMs);
    void seekToSlider(int position);
    // Double-click or Enter on an entry: it plays from its lead-in.
    void playEntry(QListWidgetItem* item);
    // The worker moved to the file at `index`: the selection follows.
    void nowPlaying(int index);
    void workerFinished(std::uint64_t generation);
    // The paused flag may have changed: the song's clock and label follow.
    void followPause();
    void sharePlaylist();
    // The panic: stops a song, then silences every channel of the controller.
    // The panic: the controller's, or every coil's of a rig file and the
    // controller's (panicRig).
    void silenceCoil();
    // What the status bar says at start: the controller found, or how many
    // of a rig file's coils were (or why the rig file cannot be read).
    std::string startStatusText() const;
    // Looks for the controller again when it was not found or has gone;
    // only while no worker runs. True when there is a controller.
    bool ensureController();
    // Joins a worker that ran out (it may still be closing its output) and
    // looks for the controller again: before a use, when no song plays.
    void joinAndLookForController();
    void openFixedMode();
    void openLiveInput();
    void openOptions();
    void openAbout();
    void shutDown();

    AppContext& m_context;
    // Declared first: it must outlive every worker and dialog that reports to it.
    std::unique_ptr<GuiReporter> m_reporter;
    std::unique_ptr<PlaybackWorker> m_worker;
    Playlist m_playlist;
    FileDialogs m_fileDialogs;
    // A worker found the controller gone or unable to open: look again
    // before the next use.
    bool m_controllerLost = false;

    QListWidget* m_playlistBox = nullptr;
    std::optional<PlaylistBox> m_rows;
    QSlider* m_volumeSlider = nullptr;
    QSlider* m_progressSlider = nullptr;
    QMenu* m_toolsMenu = nullptr;
    QAction* m_optionsAction = nullptr;
    SongDisplay* m_display = nullptr;
    // The progress slider moved under the user's hand since it was pressed.
    bool m_progressDragged = false;
    QPointer<FixedModeDialog> m_fixedModeDialog;
    QPointer<LiveInputDialog> m_liveDialog;
    AnalysisWindows* m_analysis = nullptr;
};
