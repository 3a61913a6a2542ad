// Baseline for the playback timing benchmark: a plain sender that reads a note
// list ("time_ms,key,velocity" CSV, as `quillarc-cli notes` prints it) on
// standard input and sends each entry to the JACK port of client NAME when it
// is due, sleeping until then. It uses RtMidi's JACK output directly, without
// this program's layers: no transport, no progress, the simplest correct
// player.
//
//   sleep_sender NAME < notes.csv
#include <pthread.h>
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: sleep_sender NAME < notes.csv\n";
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
    // Never destroyed: RtMidi's JACK output frees its ring buffer while its
    // process callback can still run, so the process leaves with _Exit.
    auto* output = new RtMidiOut(RtMidi::UNIX_JACK, "sleep sender");
    const std::string prefix = std::string(argv[1]) + ":";
    unsigned int port = 0;
    while (port < output->getPortCount() && output->getPortName(port).rfind(prefix, 0) != 0) {
        ++port;
    }
    if (port == output->getPortCount()) {
        std::cerr << "sleep_sender: no JACK port of " << argv[1] << "\n";
        std::_Exit(1);
    }
    output->openPort(port, "out");
    // The connection takes effect within a cycle or two.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto send = [output](int status, int data1, int data2) {
        const unsigned char message[3] = {static_cast<unsigned char>(status), static_cast<unsigned char>(data1 & 0x7F),
                                          static_cast<unsigned char>(data2 & 0x7F)};
        output->sendMessage(message, 3);
    };
    send(0xB0, 7, 31);
    const auto start = std::chrono::steady_clock::now();
    for (const Entry& entry : entries) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(entry.timeMs));
        send(0x90, entry.key, entry.velocity);
    }
    send(0xB0, 120, 0);
    // Time for the last messages to leave before the port goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    output->closePort();
    std::fflush(stdout);
    std::_Exit(0);
}
