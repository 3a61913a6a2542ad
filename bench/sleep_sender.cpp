// Baseline for the playback timing benchmark: a plain sender that reads a note
// list ("time_ms,key,velocity" CSV, as `quillarc-cli notes` prints it) on
// standard input and sends each entry on device PORT when it is due, sleeping
// until then. No transport, no progress: the simplest correct player.
//
//   sleep_sender PORT < notes.csv
#include "midiout/MidiOutput.h"

#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: sleep_sender PORT < notes.csv\n";
        return 2;
    }
    struct Entry {
        int timeMs, key, velocity;
    };
    std::vector<Entry> entries;
    std::string line;
    std::getline(std::cin, line);  // header
    while (std::getline(std::cin, line)) {
        Entry entry{};
        if (std::sscanf(line.c_str(), "%d,%d,%d", &entry.timeMs, &entry.key, &entry.velocity) == 3) {
            entries.push_back(entry);
        }
    }
    pthread_setname_np(pthread_self(), "sleep-sender");
    MidiOutput output(std::stoi(argv[1]), 1);
    output.sendControlChange(0, 7, 31);
    const auto start = std::chrono::steady_clock::now();
    for (const Entry& entry : entries) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(entry.timeMs));
        output.sendNoteOn(0, entry.key, entry.velocity);
    }
    output.sendControlChange(0, 120, 0);
    output.closePort();
    return 0;
}
