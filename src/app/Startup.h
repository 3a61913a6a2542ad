#pragma once

#include <memory>
#include <string>
#include <vector>

class AppContext;
class MidiService;

// What a run can be given besides the MIDI devices, for tests, benchmarks and
// demonstrations; empty in a normal run, which then behaves exactly as
// without them.
struct LaunchHooks {
    // Paths put into the playlist before the window shows in place of the
    // saved playlist, as if they had been dropped on it, except that the
    // status bar keeps saying whether the controller was found.
    std::vector<std::string> playlist;
    // Printed on standard output, with a newline, once the main window has
    // been drawn on screen for the first time; nothing when empty.
    std::string shownMark;
};

// Runs the control panel and returns the process's exit code: installs
// `service` as the MIDI platform layer when one is given (the system's
// devices otherwise), builds the application context (which looks the
// devices up on a thread of its own) and, meanwhile, the application object
// and the main window, and runs until the window is closed (exit code 0).
//
// Without any MIDI output device the run ends before a window opens: the
// message "Error: no MIDI output devices" goes to standard error (and into a
// message box when there is a display to show it on) and the run returns 1.
// Without a display, the run ends so before any window system is set up.
int runControlPanel(int& argc, char** argv, std::shared_ptr<MidiService> service, const LaunchHooks& hooks = {});

// Builds the main window over `context` on the running application object,
// as the panel was left (PanelSettings) unless `hooks` give a playlist,
// shows it and runs the event loop until the window is closed; returns the
// loop's exit code. When the context's look-up found no device, the window
// never shows: the message goes to standard error (and into a message box
// with `messageBoxes`) and it returns 1.
int execMainWindow(AppContext& context, const LaunchHooks& hooks = {}, bool messageBoxes = false);
