#pragma once

#include "views/Chart.h"

#include <functional>

class QAction;
class QMainWindow;
class QMenu;

// What the menus of the main window ask of it.
struct MenuCommands {
    std::function<void()> open, add, exit;
    std::function<void()> playPause, stop, restart, next, previous, seekBack, seekForward;
    std::function<void(bool on)> wholePlaylist, repeatPlaylist;
    std::function<void(ChartKind kind)> analysis;
    std::function<void()> options, liveInput, silence, about;
};

// The Tools menu and its Options entry, for those who add to them.
struct MainMenus {
    QMenu* tools = nullptr;
    QAction* options = nullptr;
};

// Builds the menus of `window`: File, Playback, Tools and Help, each entry
// with its object name and the keys of the panel (Space, N, P, Left, Right,
// Ctrl+O, Ctrl+Q, Ctrl+L, and Escape shown beside Silence coil; PanicKey
// takes Escape itself), working wherever the focus is in the window; F10
// opens the first menu. Every menu and entry gets a mnemonic.
MainMenus buildMainMenus(QMainWindow& window, const MenuCommands& commands);
