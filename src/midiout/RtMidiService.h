#pragma once

#include "midiout/MidiService.h"

#include <memory>
#include <string>

// The system's MIDI output devices through RtMidi, JACK left out (see
// JackMidiService): on Linux the ALSA sequencer's output ports, elsewhere the
// platform's own MIDI API. An API without its kernel device is left out
// quietly. The product name is the client name (productNameOf).
//
// Nothing is printed and no exception leaves this class: ALSA's and RtMidi's
// own messages are silenced and device errors come back as values. Messages
// are handed to RtMidi at once; there is no queue here. Thread-safe.
class RtMidiService : public MidiService {
public:
    // `clientName` names the clients this service registers with ALSA.
    explicit RtMidiService(std::string clientName = "Quillarc Control Panel");
    ~RtMidiService() override;

    RtMidiService(const RtMidiService&) = delete;
    RtMidiService& operator=(const RtMidiService&) = delete;

    int deviceCount() override;
    std::string productName(int device) override;
    bool open(int device) override;
    void close(int device) override;
    // Sustain off (CC64 0), all sound off (CC120) and all notes off (CC123)
    // on all 16 channels.
    void reset(int device) override;
    // kSendDeviceNotOpen, or kSendDriverError when RtMidi refused the message.
    int send(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
