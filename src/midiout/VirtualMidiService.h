#pragma once

#include "midiout/MidiService.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

// In-memory MIDI devices with chosen names that record what happens to them.
// Install it with MidiOutPort::installService before the first output object
// exists. Every call is thread-safe.
//
// Like a real device, an open device cannot be opened a second time, and a
// send to a closed device fails with kSendDeviceNotOpen.
class VirtualMidiService : public MidiService {
public:
    struct Record {
        enum class Kind { Open, Close, Reset, Message };
        Kind kind;
        int device;
        std::array<std::uint8_t, 3> bytes;  // the message; zeros for the other kinds
        std::chrono::steady_clock::time_point when;
        std::optional<std::uint32_t> dueMs = std::nullopt;  // a message handed ahead: when it is due
        bool takenBack = false;  // ... and it was taken back before that
    };

    explicit VirtualMidiService(std::vector<std::string> deviceNames);

    int deviceCount() override;
    std::string productName(int device) override;
    bool open(int device) override;
    void close(int device) override;
    void reset(int device) override;
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    int scheduleLeadMs(int device) override;
    int sendAt(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2, std::uint32_t dueMs) override;
    int takeBack(int device) override;

    // Everything that took effect, in order: successful opens, closes and
    // resets of open devices, and sent messages. Failed calls leave no record.
    std::vector<Record> records() const;
    // The messages sent to `device`, in order, but those taken back.
    std::vector<std::array<std::uint8_t, 3>> messages(int device) const;
    void clear();

    // While set, opens of `device` fail.
    void failOpen(int device, bool fail);
    // While not 0, sends to `device` return `code` and send nothing.
    void setSendError(int device, int code);
    bool isDeviceOpen(int device) const;
    // Plugs in one more device after the existing ones; output objects see it
    // once the device table is counted again.
    void addDevice(std::string name);
    // Pulls out the last device; as with addDevice, output objects see it
    // once the table is counted again.
    void unplugLastDevice();
    // Pulls out the first device named `name`: those after it move down one
    // number at once, as the system's devices are numbered afresh when one
    // goes (a JACK client restarted, an ALSA client renumbered).
    void unplug(const std::string& name);
    // Makes `device` one that takes messages `leadMs` ahead of their time: a
    // message handed to it has left once `now()` has reached its due time,
    // and one taken back before that is marked so in the records.
    void setSchedule(int device, int leadMs, std::function<std::uint32_t()> now);
    // While set, an open device is written within a realtime input's cycle
    // under its own number (cycleTarget): a cycle of a test's making sends
    // there.
    void setCycleTargets(bool on);
    int cycleTarget(int device) override;

private:
    struct Device {
        std::string name;
        bool open = false;
        bool failOpen = false;
        int sendError = 0;
        int leadMs = 0;
        std::function<std::uint32_t()> now = nullptr;
    };

    Device* find(int device);
    void record(Record::Kind kind, int device, std::array<std::uint8_t, 3> bytes = {});

    mutable std::mutex m_mutex;
    std::vector<Device> m_devices;
    std::vector<Record> m_records;
    bool m_cycleTargets = false;
};
