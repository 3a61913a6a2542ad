#pragma once

#include "midiout/MidiService.h"

#include <jack/jack.h>

#include <functional>
#include <memory>
#include <string>

class ProcessCycles;

// The running cycle as the process callback sees it: when its first frame
// was due (the steady clock in microseconds, by CycleStart), its frames and the frame
// rate; and the output ports of the open devices, already holding what their
// queues had for this cycle, for its user to write into.
class JackCycle {
public:
    JackCycle(std::uint64_t startAt, jack_nframes_t length, std::uint32_t frameRate)
        : startMicros(startAt), frames(length), rate(frameRate)
    {
    }
    // Into the port of the device whose cycleTarget is `target`, at `frame`
    // or after what the port holds already; false when that device has no
    // port in this cycle or its buffer is full.
    virtual bool write(int target, const std::uint8_t* bytes, std::size_t length, jack_nframes_t frame) noexcept = 0;

    const std::uint64_t startMicros;
    const jack_nframes_t frames;
    const std::uint32_t rate;

protected:
    ~JackCycle() = default;
};

// What else uses the one client besides the output devices (the input ports
// of JackMidiInput): the client's callbacks reach it through this hook.
class JackClientUser {
public:
    virtual ~JackClientUser() = default;
    // Every cycle, from the process callback, inside the cycle that
    // ProcessCycles counts, after the output queues were emptied into their
    // ports: no lock, no allocation, no wait.
    virtual void process(JackCycle& cycle) noexcept = 0;
    // The client is closing and its ports go with it; called with the
    // service's lock held (the same lock as withClient's work).
    virtual void clientClosing() noexcept = 0;
    // A connection was made or broken, or the server went away. On one of
    // JACK's threads: must not block.
    virtual void graphChanged() noexcept = 0;
};

// The MIDI input ports of the other clients of a running JACK server, as
// output devices, in the order the server lists them; the product name is the
// client name (productNameOf). The process has one JACK client for all of
// them, opened when the devices are first counted with a server answering (a
// server is never started; without one there are no devices and nothing is
// printed) and activated when a device is first opened.
//
// Each open device has an output port of its own, connected to the device,
// and two lock-free queues that the client's one process callback empties:
// messages sent at once go at offset 0 of the next cycle, messages handed
// ahead (sendAt) at the frame of their due time in the cycle it falls in, or
// at offset 0 when already late, after those sent at once. The callback
// reads the clock once, as it begins, places timed messages from that time
// (frameInCycle), and neither locks, allocates nor calls the system. A stall
// of the server (an xrun) thus delays only what fell due during it. open
// returns once the connection carries messages; close returns once the cycle
// after the one that took the last message has run, so a closing
// all-sound-off is not lost. Sends fail at once with kSendDeviceGone when the
// device or the server has gone, and a server that runs no cycle for four of
// its periods and a tenth of a second fails them too: nothing waits without a
// limit.
//
// Thread-safe; nothing is printed and no exception leaves this class.
//
// A process has one JACK client, for outputs and inputs alike
// (processClient()): each client hides only its own ports from the devices it
// lists, so a second one would offer the first one's ports as devices, and the
// program could be connected back into itself.
class JackMidiService : public MidiService {
    struct Impl;
    struct OneClient {
        explicit OneClient() = default;
    };

public:
    // Made only by processClient(); the client is named "Quillarc Control
    // Panel" (JACK makes the name unique on the server).
    explicit JackMidiService(OneClient);
    ~JackMidiService() override;

    JackMidiService(const JackMidiService&) = delete;
    JackMidiService& operator=(const JackMidiService&) = delete;

    int deviceCount() override;
    std::string productName(int device) override;
    bool open(int device) override;
    void close(int device) override;
    // Sustain off (CC64 0), all sound off (CC120) and all notes off (CC123)
    // on all 16 channels.
    void reset(int device) override;
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    // One period of the server and a margin.
    int scheduleLeadMs(int device) override;
    int sendAt(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2, std::uint32_t dueMs) override;
    int takeBack(int device) override;
    // False once the device or the server has gone.
    bool connected(int device) override;
    // The open device's port slot, which the user's cycle writes to
    // (JackCycle::write); -1 when not open.
    int cycleTarget(int device) override;

    // The process's one client: the device table's JACK devices and the
    // JACK inputs share it.
    static std::shared_ptr<JackMidiService> processClient();

    // Runs `work` with this service's lock held and the client open (and
    // active when `activate`); a server is never started. False, with `work`
    // not run, when no server answers.
    bool withClient(bool activate, const std::function<void(jack_client_t*)>& work);
    // The hook's user (one at a time; null for none). Returns once no cycle
    // can still call the one it replaces.
    void setUser(JackClientUser* user);
    // The process callback's cycles, for a user taking a port away.
    const ProcessCycles& cycles() const;

private:
    std::unique_ptr<Impl> m_impl;
};
