#include "app/MainMenus.h"

#include "app/Mnemonics.h"
#include "views/ChartWindow.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <array>
#include <tuple>
#include <utility>

namespace {

// An entry of `menu` that runs `run`. With a key, the key works wherever the
// focus is in the window, not only while the menu is open.
QAction* addEntry(QMainWindow& window, QMenu* menu, const QString& text, const char* name, const std::function<void()>& run,
                  const QKeySequence& key = {})
{
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    QObject::connect(action, &QAction::triggered, &window, [run] { run(); });
    if (!key.isEmpty()) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        window.addAction(action);
    }
    return action;
}

QMenu* addMenu(QMainWindow& window, const char* title, const char* name)
{
    QMenu* menu = window.menuBar()->addMenu(title);
    menu->setObjectName(name);
    return menu;
}

void buildFileMenu(QMainWindow& window, const MenuCommands& commands)
{
    QMenu* menu = addMenu(window, "File", "fileMenu");
    addEntry(window, menu, "Open...", "openAction", commands.open, QKeySequence(Qt::CTRL | Qt::Key_O));
    addEntry(window, menu, "Add...", "addAction", commands.add);
    addEntry(window, menu, "Load playlist...", "loadPlaylistAction", commands.loadPlaylist);
    addEntry(window, menu, "Save playlist...", "savePlaylistAction", commands.savePlaylist);
    menu->addSeparator();
    addEntry(window, menu, "Exit", "exitAction", commands.exit, QKeySequence(Qt::CTRL | Qt::Key_Q));
}

QMenu* buildPlaylistMenu(QMainWindow& window, const MenuCommands& commands)
{
    QMenu* menu = addMenu(window, "Playlist", "playlistMenu");
    addEntry(window, menu, "Remove", "removeAction", commands.remove, Qt::Key_Delete);
    addEntry(window, menu, "Clear", "clearAction", commands.clear);
    addEntry(window, menu, "Move up", "moveUpAction", commands.moveUp, QKeySequence(Qt::CTRL | Qt::Key_Up));
    addEntry(window, menu, "Move down", "moveDownAction", commands.moveDown, QKeySequence(Qt::CTRL | Qt::Key_Down));
    menu->addSeparator();
    addEntry(window, menu, "Song settings...", "songSettingsAction", commands.songSettings);
    return menu;
}

void buildPlaybackMenu(QMainWindow& window, const MenuCommands& commands, MainMenus& menus)
{
    QMenu* menu = addMenu(window, "&Playback", "playbackMenu");
    addEntry(window, menu, "&Play/Pause", "playPauseAction", commands.playPause, Qt::Key_Space);
    addEntry(window, menu, "&Stop", "stopAction", commands.stop, Qt::Key_S);
    addEntry(window, menu, "Res&tart", "restartAction", commands.restart, Qt::Key_R);
    addEntry(window, menu, "&Next", "nextAction", commands.next, Qt::Key_N);
    addEntry(window, menu, "Pre&vious", "previousAction", commands.previous, Qt::Key_P);
    menu->addSeparator();
    addEntry(window, menu, "&Back 5 s", "seekBackAction", commands.seekBack, Qt::Key_Left);
    addEntry(window, menu, "&Forward 5 s", "seekForwardAction", commands.seekForward, Qt::Key_Right);
    menu->addSeparator();
    addEntry(window, menu, "Loop st&art here", "loopStartAction", commands.loopStart, Qt::Key_BracketLeft);
    addEntry(window, menu, "Loop en&d here", "loopEndAction", commands.loopEnd, Qt::Key_BracketRight);
    addEntry(window, menu, "L&oop on/off", "loopToggleAction", commands.loopToggle, Qt::Key_L);
    menu->addSeparator();
    // Off at a first start (a song that ends leaves the panel idle unless
    // asked), then as the panel was left. Repeat's letter is not R: while
    // this menu is open, R is Restart's key.
    const std::array modes{std::tuple{"Play the &whole playlist", "wholePlaylistAction", commands.wholePlaylist},
                           std::tuple{"Repeat p&laylist", "repeatPlaylistAction", commands.repeatPlaylist}};
    std::array<QAction*, 2> made{};
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const auto& [text, name, toggled] = modes[i];
        made[i] = addEntry(window, menu, text, name, [] {});
        made[i]->setCheckable(true);
        QObject::connect(made[i], &QAction::toggled, &window, toggled);
    }
    menus.wholePlaylist = made[0];
    menus.repeatPlaylist = made[1];
}

QMenu* buildToolsMenu(QMainWindow& window, const MenuCommands& commands, QAction*& options)
{
    QMenu* menu = addMenu(window, "Tools", "toolsMenu");
    // Each entry is named after the window it opens.
    const std::array charts{std::pair{"spectrumAction", ChartKind::Spectrum}, std::pair{"notesAction", ChartKind::Notes},
                            std::pair{"dutyAction", ChartKind::Duty}};
    for (const auto& [name, kind] : charts) {
        const QString text = QString(chartWindowTitle(kind)) + "...";
        addEntry(window, menu, text, name, [analysis = commands.analysis, kind = kind] { analysis(kind); });
    }
    addEntry(window, menu, "Coils...", "coilsAction", commands.coils);
    options = addEntry(window, menu, "Options...", "optionsAction", commands.options);
    // Its own letter, so that Silence coil keeps its S.
    addEntry(window, menu, "C&heck song...", "checkSongAction", commands.checkSong);
    addEntry(window, menu, "Live Input...", "liveAction", commands.liveInput, QKeySequence(Qt::CTRL | Qt::Key_L));
    menu->addSeparator();
    addEntry(window, menu, "Silence coil", "silenceAction", commands.silence, Qt::Key_Escape);
    return menu;
}

}  // namespace

MainMenus buildMainMenus(QMainWindow& window, const MenuCommands& commands)
{
    MainMenus menus;
    buildFileMenu(window, commands);
    menus.playlist = buildPlaylistMenu(window, commands);
    buildPlaybackMenu(window, commands, menus);
    menus.tools = buildToolsMenu(window, commands, menus.options);
    QMenu* help = addMenu(window, "Help", "helpMenu");
    addEntry(window, help, "About...", "aboutAction", commands.about);

    // F10 opens the first menu, as on the desktops that users come from.
    auto* menuKey = new QAction(&window);
    menuKey->setObjectName("menuKeyAction");
    menuKey->setShortcut(Qt::Key_F10);
    menuKey->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(menuKey, &QAction::triggered, &window, [&window] {
        const QList<QAction*> tops = window.menuBar()->actions();
        if (!tops.isEmpty()) {
            window.menuBar()->setActiveAction(tops.constFirst());
        }
    });
    window.addAction(menuKey);
    giveMnemonics(window.menuBar());
    return menus;
}
