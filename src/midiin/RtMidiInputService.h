#pragma once

#include "midiin/MidiInputService.h"

#include <memory>
#include <string>

// The system's MIDI input devices through RtMidi, JACK left out (see
// JackMidiInput): on Linux the ALSA sequencer's input ports. Messages are
// handed to the sink on RtMidi's input thread as they arrive, SysEx, timing
// and active sensing left out. RtMidi does not say when a port goes away:
// connected() looks whether it is still listed.
class RtMidiInputService : public MidiInputService {
public:
    explicit RtMidiInputService(std::string clientName = "Quillarc Control Panel");
    ~RtMidiInputService() override;

    RtMidiInputService(const RtMidiInputService&) = delete;
    RtMidiInputService& operator=(const RtMidiInputService&) = delete;

    int deviceCount() override;
    std::string productName(int device) override;
    bool open(int device, MidiInputSink& sink) override;
    void close(int device) override;
    bool connected(int device) override;
    bool realtime(int) override { return false; }
    bool tellsOfChanges(int) override { return false; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
