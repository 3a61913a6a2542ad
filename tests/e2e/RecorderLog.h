#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// What a jack_recorder wrote to its file so far.
struct RecorderLog {
    struct Event {
        std::uint32_t frame = 0;
        std::uint64_t usecs = 0;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Event> events;
    bool ended = false;  // the recorder stopped cleanly and wrote everything

    static RecorderLog read(const std::string& path);
    // Reads `path` until `done(log)` holds or `timeout` passes; the last read.
    template <typename Predicate>
    static RecorderLog readUntil(const std::string& path, Predicate done, std::chrono::milliseconds timeout);
};

// Lower-case hex of the bytes, separated by spaces ("90 48 7f").
std::string hexBytes(const std::vector<std::uint8_t>& bytes);

// The value of an environment variable the fixture sets; ends the program when
// it is missing.
std::string fixtureVariable(const char* name);

template <typename Predicate>
RecorderLog RecorderLog::readUntil(const std::string& path, Predicate done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        RecorderLog log = read(path);
        if (done(log) || std::chrono::steady_clock::now() >= deadline) {
            return log;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
