#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One cycle of a realtime input that runs on the same callback as output
// devices (JACK's one client): the events that arrived in it, each at its
// frame, and the output devices' ports of the same cycle to write into
// (MidiService::cycleTarget). The callback's thread: nothing here locks,
// allocates or waits.
class MidiInputCycle {
public:
    struct Event {
        const std::uint8_t* bytes;
        std::size_t length;
        std::uint32_t frame;
    };

    // The cycle's start on the steady clock (microseconds), its length in
    // frames and the frame rate.
    MidiInputCycle(std::uint64_t startAt, std::uint32_t length, std::uint32_t frameRate)
        : startMicros(startAt), frames(length), rate(frameRate)
    {
    }

    // In the order of their frames.
    virtual std::size_t eventCount() const noexcept = 0;
    virtual Event event(std::size_t index) const noexcept = 0;
    // Writes a message (1 to 3 bytes) into the port of `target` at `frame`
    // of this cycle, or after what the port holds already; false when it
    // could not (no such target any more, or no room).
    virtual bool write(int target, const std::uint8_t* bytes, std::size_t length, std::uint32_t frame) noexcept = 0;

    const std::uint64_t startMicros;
    const std::uint32_t frames;
    const std::uint32_t rate;

protected:
    ~MidiInputCycle() = default;
};

// Where an open input device delivers what it receives.
class MidiInputSink {
public:
    virtual ~MidiInputSink() = default;
    // The bytes of one or more messages as the device delivered them (a
    // message may continue in the next call, and may use running status).
    // Called on the device's own thread; where MidiInputService::realtime()
    // says so, that is a realtime thread: no lock, no allocation, no wait.
    virtual void received(const std::uint8_t* bytes, std::size_t length) noexcept = 0;
    // Something changed that may have taken the device away: ask connected().
    // Any thread; must not block.
    virtual void changed() noexcept = 0;
    // Every cycle of an input that has them, on its realtime thread, with
    // what arrived in it: by default each event goes to received().
    virtual void cycle(MidiInputCycle& cycle) noexcept
    {
        for (std::size_t index = 0; index < cycle.eventCount(); ++index) {
            const MidiInputCycle::Event event = cycle.event(index);
            received(event.bytes, event.length);
        }
    }
};

// The system's MIDI input devices, numbered 0..deviceCount()-1 as of the
// latest count, with the product name rule of the outputs (productNameOf).
// Thread-safe; nothing is printed and no exception leaves it.
class MidiInputService {
public:
    virtual ~MidiInputService() = default;

    // Counts the devices afresh; never starts a server.
    virtual int deviceCount() = 0;
    virtual std::string productName(int device) = 0;
    // Starts delivering the device's messages to `sink`, which must outlive
    // the device's close; false when it could not be opened (or is open).
    virtual bool open(int device, MidiInputSink& sink) = 0;
    // Returns once nothing is delivered any more.
    virtual void close(int device) = 0;
    // False once the open device has gone (its client, port or server).
    virtual bool connected(int device) = 0;
    // Whether the device delivers on a realtime thread.
    virtual bool realtime(int device) = 0;
    // Whether the service tells its sinks of a device going away (changed());
    // without it, the owner asks connected() now and then.
    virtual bool tellsOfChanges(int device) = 0;
};

// The process's input devices: ALSA's (or the platform's) through RtMidi,
// then the JACK MIDI output ports of other clients on the process's one JACK
// client.
MidiInputService& midiInputs();
// The platform's input services in the order midiInputs() numbers their
// devices.
std::vector<std::unique_ptr<MidiInputService>> systemInputServices();
