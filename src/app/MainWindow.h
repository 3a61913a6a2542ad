#pragma once

#include "app/LoopMarks.h"
#include "app/PanelSettings.h"
#include "app/PlaybackWorker.h"
#include "app/Playlist.h"
#include "app/PlaylistBox.h"
#include "rig/Rig.h"
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
class QSpinBox;
class SeekSlider;
class SongDisplay;
class SongLengths;
class SongSettingsMarks;
class SongChecks;
class CheckSongDialog;

// The file dialogs the window opens. Each returns what the user chose, empty
// when cancelled; tests replace them.
struct FileDialogs {
    // "Open...": one or more MIDI files.
    std::function<QStringList(QWidget* parent)> openFiles;
    // "Add...": one MIDI file.
    std::function<QString(QWidget* parent)> addFile;
    // Options, "Load file...": a velocity-curve text file.
    std::function<QString(QWidget* parent)> curveFile;
    // "Load playlist..." and "Save playlist...": an M3U file.
    std::function<QString(QWidget* parent)> loadPlaylist;
    std::function<QString(QWidget* parent)> savePlaylist;
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
// with the progress slider (a click on its groove goes there) and the arrow
// keys, the playing entry marked in the playlist with the selection
// following it, and a permanent label with the state and the song's time.
// Space (play/pause), S, R, N, P, Left and Right work wherever the focus is
// in the window. The playlist shows each file's name and length (SongLengths
// works them out in the background); Remove, Clear and Move up and down edit
// it, also while a song plays (the song plays on, and the whole playlist
// goes on from where its file is now); it loads from and saves to M3U files.
//
// What the panel remembers (PanelSettings) is given to restorePanel at start
// and saved when the window closes.
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
    // Appends the dropped `paths` that are files; anything else (a folder, a
    // missing file) is refused with a status message.
    void dropFiles(const QStringList& paths);
    // What the panel was left with: the playlist (quietly, so that the
    // status bar goes on saying whether the controller was found; files that
    // have gone stay, greyed), its selection, the volume, the two
    // playlist modes, the Open dialog's folder, and where each window was
    // and which analysis windows were open. Before anything plays.
    void restorePanel(const PanelSettings& settings);
    // What the panel is left with now, as closing saves it.
    PanelSettings panelSettings() const;

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
    // The playlist becomes `paths`, `selected` highlighted; quietly leaves
    // the status bar as it is.
    void replacePlaylist(const QStringList& paths, int selected, bool quietly);
    // Remove, Clear, Move up and down: the box, the worker's list and the
    // marks follow the edit's moves.
    void removeSelected();
    void clearPlaylist();
    void moveSelected(int step);
    void applyEdit(const Playlist::Moves& moves);
    void loadPlaylistFile();
    void savePlaylistFile();
    // The lengths and settings marks of the playlist's files not known yet.
    void measureLengths();
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
    // Tools, "Coils...": the rig file, or today's single coil, edited; over
    // `parent` (the Options dialog when it leads there).
    void openCoils(QWidget* parent);
    void openCheckSong();
    // A file is chosen and the limits and rig files read afresh can be used:
    // else false, with the reason in the status bar (Check song, Song settings).
    bool songChosenAndFilesRead();
    // Playlist, "Song settings...": the selected song's settings edited.
    void openSongSettings();
    // The song that started plays at this speed and loop: the Speed box and
    // the loop follow.
    void songShaped(int speedPercent, const std::optional<LoopRegion>& loop, bool loopOn);
    // `[` and `]`: A or B at the song's position now, while a song plays.
    void markLoop(void (LoopMarks::*mark)(int ms));
    // The loop was changed by a key: the worker, the slider's band and the status bar follow.
    void loopChanged();
    void showLoopBand();
    // A song's settings file was written: every row's mark is looked for again.
    void songSettingsWritten(const QString& songPath);
    // The rig file's rig, or the single coil without one.
    Rig currentRig() const;
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
    SongLengths* m_lengths = nullptr;
    SongSettingsMarks* m_marks = nullptr;
    // The check of each song that Play starts, and of Check song's.
    SongChecks* m_playChecks = nullptr;
    SongChecks* m_dialogChecks = nullptr;
    QPointer<CheckSongDialog> m_checkDialog;
    std::optional<PlaylistBox> m_rows;
    QSlider* m_volumeSlider = nullptr;
    SeekSlider* m_progressSlider = nullptr;
    QSpinBox* m_speedSpin = nullptr;
    // The speed of the song playing, as the worker has it, and the speed it
    // started at (its own).
    int m_speedInForce = 100;
    int m_songSpeed = 100;
    LoopMarks m_loop;
    QMenu* m_toolsMenu = nullptr;
    QAction* m_optionsAction = nullptr;
    QAction* m_wholePlaylistAction = nullptr;
    QAction* m_repeatPlaylistAction = nullptr;
    // Where the Open and Add dialogs open: the folder of the last file chosen.
    QString m_openFolder;
    SongDisplay* m_display = nullptr;
    // The progress slider moved under the user's hand since it was pressed.
    bool m_progressDragged = false;
    QPointer<FixedModeDialog> m_fixedModeDialog;
    QPointer<LiveInputDialog> m_liveDialog;
    AnalysisWindows* m_analysis = nullptr;
};
