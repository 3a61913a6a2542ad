// The control panel's entry.
//
// QUILLARC_VIRTUAL_DEVICES, when set, replaces the system's MIDI output
// devices with in-memory ones named by its value, separated by ';' (for
// example "Quillarc USB Controller;Synth"); set but empty, there is no device
// at all. Used by tests and for trying the panel without the coil.
#include "app/Startup.h"
#include "midiout/VirtualMidiService.h"

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> deviceNames(const std::string& list)
{
    std::vector<std::string> names;
    std::istringstream in(list);
    std::string name;
    while (std::getline(in, name, ';')) {
        if (!name.empty()) {
            names.push_back(name);
        }
    }
    return names;
}

}  // namespace

int main(int argc, char** argv)
{
    std::shared_ptr<MidiService> service;
    if (const char* names = std::getenv("QUILLARC_VIRTUAL_DEVICES")) {
        service = std::make_shared<VirtualMidiService>(deviceNames(names));
    }
    return runControlPanel(argc, argv, std::move(service));
}
