#pragma once

#include "midiout/MidiService.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The system's MIDI output devices through RtMidi: the output ports of every
// compiled API that is usable when the devices are counted, ALSA first, then
// JACK, numbered in that order. An API without its kernel device or server is
// left out quietly.
//
// Nothing is printed and no exception leaves this class: RtMidi's and JACK's
// own messages are silenced and device errors come back as values. Messages
// are handed to RtMidi at once; there is no queue here. Thread-safe.
class RtMidiService : public MidiService {
public:
    // `clientName` names the clients this service registers with ALSA or JACK.
    explicit RtMidiService(std::string clientName = "Quillarc Control Panel");
    ~RtMidiService() override;

    RtMidiService(const RtMidiService&) = delete;
    RtMidiService& operator=(const RtMidiService&) = delete;

    int deviceCount() override;
    std::string productName(int device) override;
    // On JACK, returns once the connection to the device is in place (or has
    // failed to appear within a second), so the first message is not lost.
    bool open(int device) override;
    void close(int device) override;
    // Sustain off (CC64 0), all sound off (CC120) and all notes off (CC123)
    // on all 16 channels.
    void reset(int device) override;
    // kSendDeviceNotOpen, kSendDeviceGone (the device went away: its JACK
    // port or the JACK server vanished) or kSendDriverError when not sent.
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;

    // The product name for one of RtMidi's port names: the client name, which
    // is the text before the first ':' ("Synth:in 128:0" on ALSA and
    // "Synth:in" on JACK both give "Synth"); the whole text without a ':'.
    static std::string productNameOf(std::string_view portName);
    // How many bytes a short message with this status byte has on the wire
    // (1 to 3); data-byte statuses keep all three bytes.
    static std::size_t messageLength(std::uint8_t status);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
