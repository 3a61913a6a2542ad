// The control panel's entry.
//
// `quillarc --version` prints the program's version and exits; any other
// arguments go to Qt. The environment can set up a run for tests, benchmarks
// and trying the panel without the coil; none of it is needed in normal use:
//
// QUILLARC_VIRTUAL_DEVICES  replaces the system's MIDI output devices with
//                           in-memory ones named by its value, separated by
//                           ';' (for example "Quillarc USB Controller;Synth");
//                           set but empty, there is no device at all.
// QUILLARC_PLAYLIST         MIDI files, separated by ';', put into the
//                           playlist at start as if dropped on the window
//                           (quietly: the status bar keeps the controller).
// QUILLARC_SHOWN_MARK       a line printed on standard output once the main
//                           window has first been drawn on screen.
#include "app/Startup.h"
#include "midiout/VirtualMidiService.h"
#include "platform/Environment.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> splitList(const std::string& list)
{
    std::vector<std::string> items;
    std::istringstream in(list);
    std::string item;
    while (std::getline(in, item, ';')) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "quillarc " << QUILLARC_VERSION << '\n';
        return 0;
    }
    std::shared_ptr<MidiService> service;
    if (const auto names = environmentVariable("QUILLARC_VIRTUAL_DEVICES")) {
        service = std::make_shared<VirtualMidiService>(splitList(*names));
    }
    LaunchHooks hooks;
    if (const auto playlist = environmentVariable("QUILLARC_PLAYLIST")) {
        hooks.playlist = splitList(*playlist);
    }
    if (const auto mark = environmentVariable("QUILLARC_SHOWN_MARK")) {
        hooks.shownMark = *mark;
    }
    return runControlPanel(argc, argv, std::move(service), hooks);
}
