#pragma once

#include <cstdint>
#include <string>

// The platform layer under MidiOutPort: the system's MIDI output devices,
// numbered 0..deviceCount()-1. Implementations are thread-safe and never throw
// or print; a failure is a return value.
class MidiService {
public:
    virtual ~MidiService() = default;

    // Counts the devices afresh; the numbering of the other calls follows the
    // latest count.
    virtual int deviceCount() = 0;
    // The device's product name; empty for an index that is not a device.
    virtual std::string productName(int device) = 0;
    // True when the device was opened.
    virtual bool open(int device) = 0;
    virtual void close(int device) = 0;
    // Silences everything on the device: every note and sound off, sustain off.
    virtual void reset(int device) = 0;
    // Sends one short message at once: 0 = sent, a platform code otherwise
    // (see MidiSendError for the codes of this program's services).
    virtual int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;

    // A device that places each message at its own time takes it this many
    // milliseconds ahead of its due time at the latest; 0 for one that sends
    // at once (the default), where sendAt is send.
    virtual int scheduleLeadMs(int /*device*/) { return 0; }
    // Hands one short message over to leave at `dueMs`, in nowMs()'s clock
    // (32-bit wrapping steady-clock milliseconds); one already due leaves at
    // once. Due times are handed in order: the message waits for the one
    // handed before it. Results as send.
    virtual int sendAt(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                       std::uint32_t /*dueMs*/)
    {
        return send(device, status, data1, data2);
    }
    // Takes back every message handed to sendAt that has not left yet: the
    // last ones handed, as many as this returns.
    virtual int takeBack(int /*device*/) { return 0; }
    // False when an open device is known to have gone (a service that learns
    // it only from a failed send says true).
    virtual bool connected(int device)
    {
        static_cast<void>(device);
        return true;
    }
    // Where a realtime input delivering on this service's own callback
    // (MidiInputCycle::write) may write to the open device within the cycle
    // its input arrived in; -1 for a device that takes messages only from
    // the calls above (the default).
    virtual int cycleTarget(int /*device*/) { return -1; }
};

// Non-zero results of MidiService::send in the services of this program.
// 2 is left out: MidiOutPort returns it for an object without a port.
enum MidiSendError : int {
    kSendDeviceNotOpen = 5,   // no such device, or it is not open
    kSendDeviceGone = 6,      // the device went away while open
    kSendDriverError = 7,     // the MIDI driver refused the message
};
