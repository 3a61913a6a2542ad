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
    // False when an open device is known to have gone (a service that learns
    // it only from a failed send says true).
    virtual bool connected(int device)
    {
        static_cast<void>(device);
        return true;
    }
};

// Non-zero results of MidiService::send in the services of this program.
// 2 is left out: MidiOutPort returns it for an object without a port.
enum MidiSendError : int {
    kSendDeviceNotOpen = 5,   // no such device, or it is not open
    kSendDeviceGone = 6,      // the device went away while open
    kSendDriverError = 7,     // the MIDI driver refused the message
};
