#pragma once

#include "views/Chart.h"

#include <functional>

class QAction;
class QMainWindow;
class QMenu;

// What the menus of the main window ask of it.
struct MenuCommands {
    std::function<void()> open, add, loadPlaylist, savePlaylist, exit;
    std::function<void()> remove, clear, moveUp, moveDown, songSettings;
    std::function<void()> playPause, stop, restart, next, previous, seekBack, seekForward;
    std::function<void()> loopStart, loopEnd, loopToggle;
    std::function<void(bool on)> wholePlaylist, repeatPlaylist;
    std::function<void(ChartKind kind)> analysis;
    std::function<void()> coils, options, liveInput, checkSong, silence, about;
};

// The Tools menu and its Options entry, for those who add to them; the
// Playlist menu, whose entries the playlist's own menu offers too; the two
// playlist modes, checked or not.
struct MainMenus {
    QMenu* tools = nullptr;
    QAction* options = nullptr;
    QMenu* playlist = nullptr;
    QAction* wholePlaylist = nullptr;
    QAction* repeatPlaylist = nullptr;
};

// Builds the menus of `window`: File, Playlist, Playback, Tools and Help,
// each entry with its object name and the keys of the panel (Space, S, R, N,
// P, Left, Right, [, ], L, Delete, Ctrl+Up, Ctrl+Down, Ctrl+O, Ctrl+Q, Ctrl+L, and
// Escape shown beside Silence coil; PanicKey takes Escape itself), working
// wherever the focus is in the window; F10 opens the first menu. Every menu
// and entry gets a mnemonic.
MainMenus buildMainMenus(QMainWindow& window, const MenuCommands& commands);
