// Drives the MIDI output layer against a real JACK server and checks what a
// jack_recorder received. Run under with_jack.sh with one recorder named
// "Quillarc USB Controller":
//
//   midiout_e2e_driver wire | burst | last-object-reset | device-gone | server-gone
//
// Exit status 0 when the check holds, 1 with the reason on stderr otherwise.

#include "e2e/RecorderLog.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutput.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

int g_failures = 0;

void check(bool condition, const std::string& what)
{
    if (!condition) {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++g_failures;
    }
}

std::string describe(const RecorderLog& log)
{
    std::string text;
    for (const RecorderLog::Event& event : log.events) {
        text += "\n  " + hexBytes(event.bytes);
    }
    return text.empty() ? " (nothing)" : text;
}

int openController()
{
    const int controller = findController();
    if (controller < 0) {
        std::fprintf(stderr, "FAILED: no device named '%s'\n", kControllerName);
        std::exit(1);
    }
    return controller;
}

pid_t recorderPid()
{
    return static_cast<pid_t>(std::atoi(fixtureVariable("QUILLARC_RECORDER_PID").c_str()));
}

// A message sent at once after opening arrives; data bytes and channels are
// cut to their widths on the wire.
void checkWireBytes()
{
    const std::string file = fixtureVariable("QUILLARC_RECORDER_FILE");
    MidiOutput output(openController(), 1);
    check(output.isOpen() == 1, "the controller opens");
    check(output.sendNoteOn(0, 200, 127) == 0, "sendNoteOn(0, 200, 127) returns 0");
    check(output.sendControlChange(17, 7, 100) == 0, "sendControlChange(17, 7, 100) returns 0");
    check(output.sendNoteOn(0, 60, 0) == 0, "sendNoteOn(0, 60, 0) returns 0");
    const RecorderLog log = RecorderLog::readUntil(file, [](const RecorderLog& l) { return l.events.size() >= 3; }, 5s);
    const std::vector<std::string> expected{"90 48 7f", "b1 07 64", "90 3c 00"};
    std::vector<std::string> received;
    for (const RecorderLog::Event& event : log.events) {
        received.push_back(hexBytes(event.bytes));
    }
    check(received == expected, "the recorder got 90 48 7f, b1 07 64, 90 3c 00; it got:" + describe(log));
    if (log.events.size() == 3) {
        check(log.events[0].frame <= log.events[1].frame && log.events[1].frame <= log.events[2].frame,
              "the events arrive in the order sent");
    }
}

// A short-lived second object leaves the open device alone; the last object's
// destruction silences the device, and nothing follows.
void checkLastObjectReset()
{
    const std::string file = fixtureVariable("QUILLARC_RECORDER_FILE");
    {
        MidiOutput output(openController(), 1);
        check(output.sendNoteOn(0, 60, 100) == 0, "the first note is sent");
        check(findController() >= 0, "a second discovery while the output lives still finds the controller");
        check(output.isOpen() == 1, "the device stays open after the probe object goes");
        check(output.sendNoteOn(0, 62, 100) == 0, "a note after the probe object went is sent");
    }
    // Everything has been handed over once the port is closed; stopping the
    // recorder makes it write out all it received.
    ::kill(recorderPid(), SIGTERM);
    const RecorderLog log = RecorderLog::readUntil(file, [](const RecorderLog& l) { return l.ended; }, 5s);
    check(log.ended, "the recorder stops cleanly");

    std::vector<std::string> expected{"90 3c 64", "90 3e 64"};
    char status[3];
    for (unsigned channel = 0; channel < 16; ++channel) {
        std::snprintf(status, sizeof status, "b%x", channel);
        for (const char* controller : {"40", "78", "7b"}) {
            expected.push_back(std::string(status) + " " + controller + " 00");
        }
    }
    std::vector<std::string> received;
    for (const RecorderLog::Event& event : log.events) {
        received.push_back(hexBytes(event.bytes));
    }
    check(received == expected,
          "two notes, then sustain off, all sound off and all notes off on every channel, then nothing; got:" +
              describe(log));
}

// A device whose JACK client dies while open turns sends into errors; nothing
// crashes or blocks, including the reset when the last object goes.
void checkDeviceGone()
{
    const std::string file = fixtureVariable("QUILLARC_RECORDER_FILE");
    std::optional<MidiOutput> output;
    output.emplace(openController(), 1);
    check(output->sendNoteOn(0, 60, 100) == 0, "a note is sent while the device is there");
    const RecorderLog before =
        RecorderLog::readUntil(file, [](const RecorderLog& l) { return !l.events.empty(); }, 5s);
    check(before.events.size() == 1, "the recorder got the note before it was killed");

    ::kill(recorderPid(), SIGKILL);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    int result = 0;
    while (result == 0 && std::chrono::steady_clock::now() < deadline) {
        result = output->sendNoteOn(0, 60, 0);
        if (result == 0) {
            std::this_thread::sleep_for(2ms);
        }
    }
    check(result != 0, "a send returns an error code once the device is gone");
    check(output->sendControlChange(0, 120, 0) != 0, "later sends keep failing");
    check(output->isOpen() == 1, "the port stays open until closed");

    const auto closing = std::chrono::steady_clock::now();
    output.reset();
    check(std::chrono::steady_clock::now() - closing < 3s, "the last object goes promptly");
}

// Many messages as fast as the caller can send them all arrive, in order.
void checkBurst()
{
    const std::string file = fixtureVariable("QUILLARC_RECORDER_FILE");
    constexpr int kCount = 5000;
    std::vector<std::string> expected;
    {
        MidiOutput output(openController(), 1);
        char text[16];
        for (int index = 0; index < kCount; ++index) {
            const int channel = index & 15;
            const int key = index & 127;
            const int velocity = (index >> 7) & 127;
            check(output.sendNoteOn(channel, key, velocity) == 0, "send " + std::to_string(index));
            std::snprintf(text, sizeof text, "%02x %02x %02x", 0x90 + channel, key, velocity);
            expected.emplace_back(text);
        }
        output.closePort();
    }
    ::kill(recorderPid(), SIGTERM);
    const RecorderLog log = RecorderLog::readUntil(file, [](const RecorderLog& l) { return l.ended; }, 10s);
    std::vector<std::string> received;
    for (const RecorderLog::Event& event : log.events) {
        received.push_back(hexBytes(event.bytes));
    }
    check(received == expected, "all " + std::to_string(kCount) + " notes arrive in order; got " +
                                    std::to_string(received.size()) + " events");
}

// With the JACK server killed, sends fail instead of blocking, and the last
// object still goes promptly.
void checkServerGone()
{
    std::optional<MidiOutput> output;
    output.emplace(openController(), 1);
    check(output->sendNoteOn(0, 60, 100) == 0, "a note is sent while the server runs");
    ::kill(static_cast<pid_t>(std::atoi(fixtureVariable("QUILLARC_JACK_PID").c_str())), SIGKILL);
    // Far more than any buffer below us holds: without a check these would
    // end up blocking.
    int result = 0;
    for (int index = 0; index < 100000 && result == 0; ++index) {
        result = output->sendNoteOn(0, index & 127, 1);
    }
    check(result != 0, "a send returns an error code once the server is gone");
    const auto closing = std::chrono::steady_clock::now();
    output.reset();
    check(std::chrono::steady_clock::now() - closing < 5s, "the last object goes promptly");
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode == "wire") {
        checkWireBytes();
    } else if (mode == "burst") {
        checkBurst();
    } else if (mode == "server-gone") {
        checkServerGone();
    } else if (mode == "last-object-reset") {
        checkLastObjectReset();
    } else if (mode == "device-gone") {
        checkDeviceGone();
    } else {
        std::fprintf(stderr, "usage: midiout_e2e_driver wire | burst | last-object-reset | device-gone | server-gone\n");
        return 2;
    }
    if (g_failures == 0) {
        std::printf("%s: passed\n", mode.c_str());
    }
    return g_failures == 0 ? 0 : 1;
}
